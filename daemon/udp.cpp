#include "daemon/udp.hpp"

#include <sys/socket.h>
#include <sys/types.h>

#include <new>

Udp* udpNew(int socket, std::uint32_t address, std::uint16_t port) {
  auto* endpoint = new (std::nothrow) Udp{};
  if (endpoint == nullptr) return nullptr;
  endpoint->socket = socket;
  endpoint->peer.sin_family = AF_INET;
  endpoint->peer.sin_port = port;
  endpoint->peer.sin_addr.s_addr = address;
  endpoint->references = 1;
  return endpoint;
}

int udpSend(void* handle, const std::uint8_t* bytes, int length) {
  auto* endpoint = static_cast<Udp*>(handle);
  if (endpoint == nullptr || length < 0) return 1;
  // A datagram socket sends all or nothing; should a call ever send part, the rest
  // goes out as a further datagram.
  ssize_t sent;
  do {
    sent = sendto(endpoint->socket, bytes, static_cast<std::size_t>(length), 0,
                  reinterpret_cast<const sockaddr*>(&endpoint->peer), sizeof endpoint->peer);
    if (sent > 0) {
      bytes += sent;
      length -= static_cast<int>(sent);
    }
  } while (sent > 0 && length > 0);
  return sent < 0 ? 1 : 0;
}

Udp* udpFree(Udp* endpoint) {
  if (endpoint != nullptr && --endpoint->references <= 0) delete endpoint;
  return nullptr;
}
