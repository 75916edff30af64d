#include "common/snmpmib.hpp"

std::array<std::uint32_t, kSnmpMibWords> SnmpMib{};
