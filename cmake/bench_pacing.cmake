# The pacing benchmark: the show on the real clock with the dummy drivers, printing the share of
# one core it uses and the intervals between its frames. Run from the build folder.
add_executable(bench_pacing tools/bench/bench_pacing.cpp)
target_link_libraries(bench_pacing PRIVATE glasswhirligo_core)

# The font and the song come from cmake parts included after this one.
function(gw_bench_pacing_assets)
  foreach(asset fonts16 demosong)
    if(TARGET ${asset})
      add_dependencies(bench_pacing ${asset})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL gw_bench_pacing_assets)
