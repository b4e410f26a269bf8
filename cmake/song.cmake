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
# Every package ships the song rendered on the build machine: a cross build copies it from the
# native build (GW_SONG_FILE), since another architecture's Vorbis encoder rounds differently
# and gives other bytes for the same samples.
set(GW_SONG_FILE "" CACHE FILEPATH "A rendered demosong.ogg to use instead of rendering one")
if(GW_SONG_FILE)
  add_custom_command(
    OUTPUT ${GW_SONG}
    COMMAND ${CMAKE_COMMAND} -E copy ${GW_SONG_FILE} ${GW_SONG}
    DEPENDS ${GW_SONG_FILE}
    COMMENT "Copying demosong.ogg from ${GW_SONG_FILE}"
    VERBATIM)
else()
  add_custom_command(
    OUTPUT ${GW_SONG}
    COMMAND glasswhirligo-synth ${GW_SONG_SOURCE} ${GW_SONG}
    DEPENDS glasswhirligo-synth ${GW_SONG_SOURCE}
    COMMENT "Rendering demosong.ogg"
    VERBATIM)
endif()
add_custom_target(demosong ALL DEPENDS ${GW_SONG})

if(TARGET test_synth)
  target_link_libraries(test_synth PRIVATE gw_synth PkgConfig::VORBIS)
  target_compile_definitions(test_synth PRIVATE GW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # The decode check reads the built song from the build folder.
  add_dependencies(test_synth demosong)
endif()

add_executable(bench_synth tools/bench/bench_synth.cpp)
target_link_libraries(bench_synth PRIVATE gw_synth benchmark::benchmark)
target_compile_definitions(bench_synth PRIVATE GW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
