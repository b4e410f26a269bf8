# What the editions built apart from the native tree (web/, windows/) share: Release by default,
# the native build's assets, the language rules, and the demo's core sources with the edition's
# own platform backend in place of SDL's. Included from an edition's CMakeLists.txt.
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
endif()
set(GW_NATIVE_BUILD "" CACHE PATH "The native build folder holding generated/, fonts16.bin, demosong.ogg")
if(NOT EXISTS ${GW_NATIVE_BUILD}/fonts16.bin OR NOT EXISTS ${GW_NATIVE_BUILD}/demosong.ogg)
  message(FATAL_ERROR "GW_NATIVE_BUILD=${GW_NATIVE_BUILD} holds no built assets: build the native demo first")
endif()

# The version, as the native build's project() gives it.
file(STRINGS ${GW_NATIVE_BUILD}/version.txt GW_VERSION LIMIT_COUNT 1)
if(NOT GW_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "no version in ${GW_NATIVE_BUILD}/version.txt: configure the native build again")
endif()

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
get_filename_component(GW_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)

# The core sources as the native build globs them, and the compiled-in pictures and 8 x 8 font
# the native build generated, with the backend and song of `edition` (platform/*_<edition>.cpp)
# in place of every other's; `ARGN` names further sources to leave out.
function(gw_edition_sources out edition)
  file(GLOB sources CONFIGURE_DEPENDS
    ${GW_SOURCE_DIR}/platform/*.cpp ${GW_SOURCE_DIR}/show/*.cpp ${GW_SOURCE_DIR}/precalc/*.cpp
    ${GW_SOURCE_DIR}/text/*.cpp ${GW_SOURCE_DIR}/effects/*.cpp ${GW_SOURCE_DIR}/engine3d/*.cpp
    ${GW_SOURCE_DIR}/render3d/*.cpp ${GW_SOURCE_DIR}/data/*.cpp ${GW_NATIVE_BUILD}/generated/*.cpp)
  list(REMOVE_ITEM sources ${GW_SOURCE_DIR}/show/main.cpp
    ${GW_SOURCE_DIR}/platform/platform_sdl.cpp ${GW_SOURCE_DIR}/platform/sound.cpp ${ARGN})
  list(FILTER sources EXCLUDE REGEX "/platform/[a-z_]+_(web|windows)\\.cpp$")
  file(GLOB own CONFIGURE_DEPENDS ${GW_SOURCE_DIR}/platform/*_${edition}.cpp)
  set(${out} ${sources} ${own} PARENT_SCOPE)
endfunction()
