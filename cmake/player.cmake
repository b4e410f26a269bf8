# The player's benchmark (time from a key to the new frame, memory of the state copies), and
# the song and font its test reads from the build folder.
add_executable(bench_player tools/bench/bench_player.cpp)
target_link_libraries(bench_player PRIVATE glasswhirligo_core)

function(gw_player_asset_dependencies)
  foreach(asset fonts16 demosong)
    if(TARGET ${asset} AND TARGET test_player)
      add_dependencies(test_player ${asset})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL gw_player_asset_dependencies)
