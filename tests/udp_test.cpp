#include "daemon/udp.hpp"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "tests/support.hpp"

namespace {

// A datagram socket bound to an ephemeral loopback port, closed on scope exit.
class LoopbackSocket {
 public:
  LoopbackSocket() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address_), &length) != 0) {
      ADD_FAILURE() << "cannot bind a loopback socket";
    }
  }
  ~LoopbackSocket() {
    if (fd_ >= 0) close(fd_);
  }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  int fd() const { return fd_; }
  const sockaddr_in& address() const { return address_; }

  void sendTo(const LoopbackSocket& to, const Bytes& bytes) const {
    ASSERT_EQ(sendto(fd_, bytes.data(), bytes.size(), 0,
                     reinterpret_cast<const sockaddr*>(&to.address_), sizeof to.address_),
              static_cast<ssize_t>(bytes.size()));
  }

  // Next datagram within timeoutMs, with its sender; false when none came.
  bool receive(Bytes* bytes, sockaddr_in* from, int timeoutMs = 2000) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return false;
    bytes->assign(4096, 0);
    socklen_t length = sizeof *from;
    ssize_t n =
        recvfrom(fd_, bytes->data(), bytes->size(), 0, reinterpret_cast<sockaddr*>(from), &length);
    if (n < 0) return false;
    bytes->resize(static_cast<std::size_t>(n));
    return true;
  }

 private:
  int fd_;
  sockaddr_in address_{};
};

// The agent's socket answers a peer through an endpoint made from the received address.
struct Exchange {
  LoopbackSocket agent;
  LoopbackSocket peer;
  UdpHandle endpoint;

  Exchange() {
    peer.sendTo(agent, hexBytes("30 00"));
    Bytes request;
    sockaddr_in from{};
    if (!agent.receive(&request, &from)) {
      ADD_FAILURE() << "request not received";
      return;
    }
    endpoint.reset(udpNew(agent.fd(), from.sin_addr.s_addr, from.sin_port));
  }
};

TEST(Udp, SendReachesExactlyTheSender) {
  Exchange x;
  ASSERT_NE(x.endpoint, nullptr);
  Bytes reply = hexBytes("30 05 02 01 00 04 00");
  EXPECT_EQ(udpSend(x.endpoint.get(), reply.data(), static_cast<int>(reply.size())), 0);

  Bytes got;
  sockaddr_in from{};
  ASSERT_TRUE(x.peer.receive(&got, &from)) << "reply did not reach the sender's port";
  EXPECT_EQ(hexText(got), hexText(reply));
  EXPECT_EQ(from.sin_port, x.agent.address().sin_port);
  EXPECT_EQ(from.sin_addr.s_addr, x.agent.address().sin_addr.s_addr);
}

TEST(Udp, ZeroLengthSendsOneEmptyDatagram) {
  Exchange x;
  ASSERT_NE(x.endpoint, nullptr);
  const std::uint8_t none = 0;
  EXPECT_EQ(udpSend(x.endpoint.get(), &none, 0), 0);
  Bytes got;
  sockaddr_in from{};
  ASSERT_TRUE(x.peer.receive(&got, &from));
  EXPECT_TRUE(got.empty());
  EXPECT_FALSE(x.peer.receive(&got, &from, 50)) << "only one datagram";
}

TEST(Udp, NegativeLengthFailsAndSendsNothing) {
  Exchange x;
  ASSERT_NE(x.endpoint, nullptr);
  const std::uint8_t byte = 0x30;
  EXPECT_EQ(udpSend(x.endpoint.get(), &byte, -1), 1);
  Bytes got;
  sockaddr_in from{};
  EXPECT_FALSE(x.peer.receive(&got, &from, 50));
}

TEST(Udp, NullEndpointFailsWithoutSystemCall) {
  const std::uint8_t byte = 0x30;
  errno = 4242;
  EXPECT_EQ(udpSend(nullptr, &byte, 1), 1);
  EXPECT_EQ(errno, 4242);
}

TEST(Udp, SendErrorIsReported) {
  UdpHandle endpoint(udpNew(-1, htonl(INADDR_LOOPBACK), htons(9)));
  const std::uint8_t byte = 0x30;
  EXPECT_EQ(udpSend(endpoint.get(), &byte, 1), 1);
  EXPECT_EQ(errno, EBADF);
}

TEST(Udp, FreeReleasesAtZeroAndIgnoresNull) {
  EXPECT_EQ(udpFree(nullptr), nullptr);
  Udp* endpoint = udpNew(3, 0, 0);
  ASSERT_NE(endpoint, nullptr);
  ++endpoint->references;
  EXPECT_EQ(udpFree(endpoint), nullptr);
  EXPECT_EQ(endpoint->references, 1);  // still alive: the sanitizer build checks the access
  EXPECT_EQ(udpFree(endpoint), nullptr);
}

}  // namespace
