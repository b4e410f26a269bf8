# The pacing benchmark: the show on the real clock with the dummy drivers, printing the share of
# one core it uses and the intervals between its frames. Run from the build folder.
add_executable(bench_pacing tools/bench/bench_pacing.cpp)
target_link_libraries(bench_pacing PRIVATE glasswhirligo_core)
gw_needs_data_files(bench_pacing)
