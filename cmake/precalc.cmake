# The precalculation's benchmark, and the loading-screen tests' need for "fonts16.bin" in the
# build folder (the full start-up prints the loading text with it).
add_executable(bench_precalc tools/bench/bench_precalc.cpp)
target_link_libraries(bench_precalc PRIVATE glasswhirligo_core benchmark::benchmark)

if(TARGET fonts16)
  add_dependencies(bench_precalc fonts16)
  if(TARGET test_loading)
    add_dependencies(test_loading fonts16)
  endif()
endif()
