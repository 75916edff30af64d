# 32-bit big-endian MIPS, which traps on unaligned access: cmake -DCMAKE_TOOLCHAIN_FILE=this file.
set(CMAKE_SYSTEM_PROCESSOR mips)
set(SNMPD_CROSS_TRIPLET mips-linux-gnu)
set(SNMPD_CROSS_QEMU qemu-mips)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
