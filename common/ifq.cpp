#include "common/ifq.hpp"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>

namespace {

// A request naming the interface, its address family set for the address queries.
bool query(int fd, const char* name, unsigned long request, ifreq* out) {
  if (fd < 0) return false;
  *out = ifreq{};
  std::strncpy(out->ifr_name, name, IFNAMSIZ - 1);
  out->ifr_addr.sa_family = AF_INET;
  return ioctl(fd, request, out) == 0;
}

bool inetAddress(int fd, const char* name, unsigned long request, std::uint8_t out[4]) {
  ifreq reply{};
  if (!query(fd, name, request, &reply)) return false;
  sockaddr_in address;
  std::memcpy(&address, &reply.ifr_addr, sizeof address);
  std::memcpy(out, &address.sin_addr.s_addr, 4);
  return true;
}

}  // namespace

IfqSocket::IfqSocket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}

bool IfqSocket::address(const char* name, std::uint8_t out[4]) const {
  return inetAddress(fd_.get(), name, SIOCGIFADDR, out);
}

bool IfqSocket::netmask(const char* name, std::uint8_t out[4]) const {
  return inetAddress(fd_.get(), name, SIOCGIFNETMASK, out);
}

bool IfqSocket::hardware(const char* name, std::uint8_t out[6]) const {
  ifreq request{};
  if (!query(fd_.get(), name, SIOCGIFHWADDR, &request)) return false;
  std::memcpy(out, request.ifr_hwaddr.sa_data, 6);
  return true;
}

bool IfqSocket::flags(const char* name, int* out) const {
  ifreq request{};
  if (!query(fd_.get(), name, SIOCGIFFLAGS, &request)) return false;
  *out = request.ifr_flags;
  return true;
}

bool IfqSocket::mtu(const char* name, int* out) const {
  ifreq request{};
  if (!query(fd_.get(), name, SIOCGIFMTU, &request)) return false;
  *out = request.ifr_mtu;
  return true;
}

bool IfqSocket::txqlen(const char* name, int* out) const {
  ifreq request{};
  if (!query(fd_.get(), name, SIOCGIFTXQLEN, &request)) return false;
  *out = request.ifr_qlen;
  return true;
}

IfqAddresses ifqAddresses() {
  IfqAddresses found{};
  const IfqSocket socket;
  for (const char* name : kIfqNames) {
    if (socket.address(name, found.address[found.count])) ++found.count;
  }
  return found;
}
