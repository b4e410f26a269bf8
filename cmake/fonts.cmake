# The font assets, built from sources in the repository: the 8 x 8 font from its text art
# (data/bitfonts.txt, compiled into the core library) and "fonts16.bin", rasterised from a free
# Debian font into the build folder, where the demo and the tests run.
set(GW_FONT_TTF /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf CACHE FILEPATH
    "Font rasterised into fonts16.bin")

add_executable(fontgen tools/fontgen.cpp)
target_link_libraries(fontgen PRIVATE PkgConfig::FREETYPE PkgConfig::PNG)

set(GW_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(GW_BITFONTS_CPP ${GW_GENERATED_DIR}/bitfonts.cpp)
add_custom_command(
  OUTPUT ${GW_BITFONTS_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${GW_GENERATED_DIR}
  COMMAND fontgen bitfonts ${CMAKE_SOURCE_DIR}/data/bitfonts.txt ${GW_BITFONTS_CPP}
  DEPENDS fontgen ${CMAKE_SOURCE_DIR}/data/bitfonts.txt
  COMMENT "Converting the 8 x 8 font")
target_sources(glasswhirligo_core PRIVATE ${GW_BITFONTS_CPP})

add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/fonts16.bin ${CMAKE_BINARY_DIR}/font-sheet.png
  COMMAND fontgen fonts16 ${GW_FONT_TTF} ${CMAKE_SOURCE_DIR}/data/bitfonts.txt
          ${CMAKE_BINARY_DIR}/fonts16.bin ${CMAKE_BINARY_DIR}/font-sheet.png
  DEPENDS fontgen ${GW_FONT_TTF} ${CMAKE_SOURCE_DIR}/data/bitfonts.txt
  COMMENT "Rasterising fonts16.bin and the font contact sheet")
add_custom_target(fonts16 ALL DEPENDS ${CMAKE_BINARY_DIR}/fonts16.bin)

# The demo and the text tests read the file from the build folder.
add_dependencies(glasswhirligo fonts16)
if(TARGET test_text)
  add_dependencies(test_text fonts16)
endif()

add_executable(bench_crossfade tools/bench/bench_crossfade.cpp)
target_link_libraries(bench_crossfade PRIVATE glasswhirligo_core benchmark::benchmark)
