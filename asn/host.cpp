#include "asn/host.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

std::uint32_t hostAddress(const char* text) {
  if (text == nullptr) return kHostFailure;
  in_addr_t dotted = inet_addr(text);
  if (dotted != INADDR_NONE) return dotted;

  addrinfo hints{};
  hints.ai_family = AF_INET;  // a name with no IPv4 address is a failure
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(text, nullptr, &hints, &found) != 0 || found == nullptr) return kHostFailure;
  std::uint32_t address = kHostFailure;
  if (found->ai_family == AF_INET && found->ai_addr != nullptr) {
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  }
  freeaddrinfo(found);
  return address;
}

int hostString(char* buffer, int maxLength, std::uint32_t address) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  char text[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, text, sizeof text, nullptr,
                  0, NI_NAMEREQD) != 0 &&
      inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) == nullptr) {
    return 0;
  }
  auto length = static_cast<int>(std::strlen(text));
  if (length > maxLength) return 0;
  std::memcpy(buffer, text, static_cast<std::size_t>(length) + 1);
  return length;
}
