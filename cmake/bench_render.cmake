# The renderer's benchmark (time per RenderOld call) and the tool that writes pictures of the
# cube in each fill mode for looking at.
add_executable(bench_render tools/bench/bench_render.cpp)
target_link_libraries(bench_render PRIVATE glasswhirligo_core benchmark::benchmark)

add_executable(render_shots tools/render_shots.cpp)
target_link_libraries(render_shots PRIVATE gw_capture glasswhirligo_core)
