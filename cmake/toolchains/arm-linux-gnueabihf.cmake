# 32-bit ARM, hard float (Debian's armhf): cmake -DCMAKE_TOOLCHAIN_FILE=this file.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(SNMPD_CROSS_TRIPLET arm-linux-gnueabihf)
set(SNMPD_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
