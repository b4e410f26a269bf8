# The 2D effects' benchmark (time per call over a 320 x 240 buffer) and the tool that writes a
# PNG of each effect for a look by eye.
add_executable(bench_effects tools/bench/bench_effects.cpp)
target_link_libraries(bench_effects PRIVATE glasswhirligo_core benchmark::benchmark)

add_executable(effect_shots tools/effect_shots.cpp)
target_link_libraries(effect_shots PRIVATE gw_capture glasswhirligo_core)
