# 32-bit ARM with hardware floating point (Raspberry Pi OS 32-bit): make cross ARCH=armhf
set(CMAKE_SYSTEM_PROCESSOR arm)
set(GW_TRIPLET arm-linux-gnueabihf)
set(GW_QEMU_NAME qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
