# Shared by the toolchain files beside it: Debian's cross compiler for SNMPD_CROSS_TRIPLET
# (package g++-TRIPLET), its libraries under /usr/TRIPLET, and qemu-user (SNMPD_CROSS_QEMU)
# with that sysroot as the emulator, so that ctest runs what the build makes.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${SNMPD_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${SNMPD_CROSS_TRIPLET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${SNMPD_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SNMPD_CROSS_QEMU} -L /usr/${SNMPD_CROSS_TRIPLET})
