# 64-bit ARM (Debian's arm64): cmake -DCMAKE_TOOLCHAIN_FILE=this file.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(SNMPD_CROSS_TRIPLET aarch64-linux-gnu)
set(SNMPD_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
