# The player's benchmark (time from a key to the new frame, memory of the state copies), and
# the song and font its test reads from the build folder.
add_executable(bench_player tools/bench/bench_player.cpp)
target_link_libraries(bench_player PRIVATE glasswhirligo_core)
gw_needs_data_files(test_player test_player_slices)
# The player's test records the song's position on its way into the mixer, and has the mixer
# refuse a position or a start.
target_link_options(test_player PRIVATE "LINKER:--wrap=Mix_SetMusicPosition,--wrap=Mix_PlayMusic")
