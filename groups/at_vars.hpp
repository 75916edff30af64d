// The address translation table (atTable, 1.3.6.1.2.1.3.1): the agent's own Ethernet
// interfaces with their hardware and IPv4 addresses.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"

int atInit();  // registers atEntry; misExport's status

struct AtInfo {
  std::uint8_t address[4];
  std::uint8_t hardware[6];
  std::uint8_t number;  // ifIndex
};
Asn atRetrieve(const AtInfo& row, int column);
