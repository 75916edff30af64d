// Queries on the agent's own Ethernet interfaces. The interface number that
// every table reports (ifIndex) is the name's position in kIfqNames plus one.
#pragma once

#include <array>
#include <cstdint>

#include "common/fd.hpp"

inline constexpr int kIfqInterfaces = 3;
inline constexpr std::array<const char*, kIfqInterfaces> kIfqNames = {"eth0", "eth1", "eth2"};

// One AF_INET datagram socket for a round of queries. Each query answers false, leaving
// its output alone, when the socket or the interface cannot answer.
class IfqSocket {
 public:
  IfqSocket();
  bool valid() const { return fd_.valid(); }

  bool address(const char* name, std::uint8_t out[4]) const;  // network order
  bool netmask(const char* name, std::uint8_t out[4]) const;
  bool hardware(const char* name, std::uint8_t out[6]) const;
  bool flags(const char* name, int* out) const;
  bool mtu(const char* name, int* out) const;
  bool txqlen(const char* name, int* out) const;

 private:
  FileDescriptor fd_;
};

// The addresses of the interfaces that answer an address query, in interface order,
// packed from the first entry.
struct IfqAddresses {
  std::uint8_t address[kIfqInterfaces][4];
  int count = 0;
};
IfqAddresses ifqAddresses();
