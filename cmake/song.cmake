# The soundtrack: a small synthesizer renders data/song/demosong.song to demosong.ogg at build
# time, so the song in the build folder always matches the sources.
add_library(gw_synth STATIC tools/synth/song_parse.cpp tools/synth/render.cpp tools/synth/io.cpp)
target_include_directories(gw_synth PUBLIC ${CMAKE_SOURCE_DIR})
# The shared Vorbis target names only the encoder and file layers; the codec and Ogg sit below them.
pkg_check_modules(GW_VORBIS_CODEC REQUIRED IMPORTED_TARGET vorbis ogg)
target_link_libraries(gw_synth PUBLIC PkgConfig::VORBIS PkgConfig::GW_VORBIS_CODEC m)

add_executable(glasswhirligo-synth tools/synth/main.cpp)
target_link_libraries(glasswhirligo-synth PRIVATE gw_synth)

set(GW_SONG_SOURCE ${CMAKE_SOURCE_DIR}/data/song/demosong.song)
set(GW_SONG ${CMAKE_BINARY_DIR}/demosong.ogg)
add_custom_command(
  OUTPUT ${GW_SONG}
  COMMAND glasswhirligo-synth ${GW_SONG_SOURCE} ${GW_SONG}
  DEPENDS glasswhirligo-synth ${GW_SONG_SOURCE}
  COMMENT "Rendering demosong.ogg"
  VERBATIM)
add_custom_target(demosong ALL DEPENDS ${GW_SONG})
install(FILES ${GW_SONG} DESTINATION bin)

if(TARGET test_synth)
  target_link_libraries(test_synth PRIVATE gw_synth PkgConfig::VORBIS)
  target_compile_definitions(test_synth PRIVATE GW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # The decode check reads the built song from the build folder.
  add_dependencies(test_synth demosong)
endif()

add_executable(bench_synth tools/bench/bench_synth.cpp)
target_link_libraries(bench_synth PRIVATE gw_synth benchmark::benchmark)
target_compile_definitions(bench_synth PRIVATE GW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
