// Reply endpoint: the daemon's socket bound to the sender of the datagram being served.
// The engine sees it only as the opaque handle of its send operation, udpSend.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>

struct Udp {
  int socket;        // the daemon's bound socket; not owned
  sockaddr_in peer;  // port and address in network byte order, as received
  int references;
};

// New endpoint with one reference, or null when memory runs out.
Udp* udpNew(int socket, std::uint32_t address, std::uint16_t port);

// Sends length bytes to the peer: 0 when sent, 1 on failure (null endpoint, negative
// length, sendto error; errno as sendto left it). Length 0 sends one empty datagram.
// Shaped as the message context's send operation, hence the untyped handle.
int udpSend(void* endpoint, const std::uint8_t* bytes, int length);

// Drops one reference, releasing the record at zero. Ignores null; always returns null.
Udp* udpFree(Udp* endpoint);

struct UdpRelease {
  void operator()(Udp* endpoint) const noexcept { udpFree(endpoint); }
};
using UdpHandle = std::unique_ptr<Udp, UdpRelease>;
