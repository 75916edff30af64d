#include "common/sockfile.hpp"

#include <cstdio>
#include <cstring>

#include "common/sysfile.hpp"

bool sockfileParse(std::string_view line, SockLine* out) {
  char text[SysLines::kLineMax + 1];
  const std::size_t n = line.size() < SysLines::kLineMax ? line.size() : SysLines::kLineMax;
  std::memcpy(text, line.data(), n);
  text[n] = '\0';
  unsigned long slot;
  unsigned local, localPort, remote, remotePort, state;
  if (std::sscanf(text, "%lu: %8X:%4X %8X:%4X %2X", &slot, &local, &localPort, &remote, &remotePort,
                  &state) != 6) {
    return false;
  }
  // The kernel prints each address as the word it holds in memory: network order.
  std::memcpy(out->local, &local, 4);
  std::memcpy(out->remote, &remote, 4);
  out->localPort = static_cast<std::uint16_t>(localPort);
  out->remotePort = static_cast<std::uint16_t>(remotePort);
  out->state = state;
  return true;
}
