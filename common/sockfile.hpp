// Lines of the kernel's socket lists /proc/net/tcp and /proc/net/udp:
// "  sl  local_address rem_address   st ..." then one line per socket,
// " 1234: 0100007F:0035 00000000:0000 0A ...".
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/ifq.hpp"
#include "common/sysfile.hpp"

struct SockLine {
  std::uint8_t local[4];  // network order
  std::uint16_t localPort;
  std::uint8_t remote[4];
  std::uint16_t remotePort;
  unsigned state;  // the kernel's state number
};

// False for the header and for malformed lines. The slot number may have any width.
bool sockfileParse(std::string_view line, SockLine* out);

// Every socket of the list at `path` ("/proc/net/tcp") to `emit`, a socket bound to every
// address once for each addressed interface, with that address as its local one. With no
// addressed interface the list is not read.
template <class Emit>
void sockfileRows(const char* path, Emit emit) {
  const IfqAddresses addresses = ifqAddresses();
  if (addresses.count == 0) return;
  SysLines lines(path);
  SockLine socket;
  for (std::string_view line; lines.next(&line);) {
    if (!sockfileParse(line, &socket)) continue;
    static constexpr std::uint8_t kAny[4] = {};
    if (std::memcmp(socket.local, kAny, 4) != 0) {
      emit(socket);
      continue;
    }
    for (int i = 0; i < addresses.count; ++i) {
      std::memcpy(socket.local, addresses.address[i], 4);
      emit(socket);
    }
  }
}
