# Shared by the per-architecture toolchain files: a cross build against the sysroot that
# tools/cross-sysroot.sh unpacks from the target's Debian packages (GW_SYSROOT), with the
# target's programs run by qemu-user with that sysroot's own loader and libc.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${GW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${GW_TRIPLET}-g++)

if(NOT GW_SYSROOT)
  message(FATAL_ERROR "Set GW_SYSROOT to a sysroot made by tools/cross-sysroot.sh")
endif()
set(CMAKE_SYSROOT ${GW_SYSROOT})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES GW_SYSROOT)
set(CMAKE_FIND_ROOT_PATH ${GW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_LIBRARY_ARCHITECTURE ${GW_TRIPLET})

# pkg-config reads only the target's .pc files and prefixes their paths with the sysroot.
set(ENV{PKG_CONFIG_LIBDIR}
    "${GW_SYSROOT}/usr/lib/${GW_TRIPLET}/pkgconfig:${GW_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${GW_SYSROOT})
set(ENV{PKG_CONFIG_PATH} "")

# The linker follows the libraries' own dependencies inside the sysroot.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,-rpath-link,${GW_SYSROOT}/lib/${GW_TRIPLET}:${GW_SYSROOT}/usr/lib/${GW_TRIPLET}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${CMAKE_EXE_LINKER_FLAGS_INIT})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${CMAKE_EXE_LINKER_FLAGS_INIT})

find_program(GW_QEMU ${GW_QEMU_NAME} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${GW_QEMU} -L ${GW_SYSROOT})
