# 64-bit ARM (Raspberry Pi OS 64-bit, most Linux handhelds): make cross ARCH=arm64
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(GW_TRIPLET aarch64-linux-gnu)
set(GW_QEMU_NAME qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
