# 64-bit Windows with Debian's mingw-w64 (the POSIX-threads flavour, for std::thread and
# std::mutex): make windows. Configures windows/, whose programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(GW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${GW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${GW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(GW_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${GW_WINE})
