// The floor of any agent that receives and sends one datagram at a time: a single-threaded
// UDP responder that sends each datagram straight back, with -r its PDU tag turned into
// GetResponse's so that a load generator takes it for a reply.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) {
  stopRequested = 1;
}

// The offset just past a TLV header at `at`, and its length, or false.
bool header(const std::uint8_t* data, std::size_t size, std::size_t* at, std::size_t* length) {
  std::size_t p = *at + 1;
  if (p >= size) return false;
  std::size_t n = data[p++];
  if (n & 0x80) {
    std::size_t bytes = n & 0x7f;
    if (bytes == 0 || bytes > 3 || p + bytes > size) return false;
    n = 0;
    while (bytes-- > 0) n = (n << 8) | data[p++];
  }
  if (n > size - p) return false;
  *at = p;
  *length = n;
  return true;
}

// SEQUENCE { version, community, PDU }: the PDU's tag becomes 0xA2.
void turnIntoResponse(std::uint8_t* data, std::size_t size) {
  std::size_t at = 0, length = 0;
  if (size < 2 || data[0] != 0x30 || !header(data, size, &at, &length)) return;
  for (int skip = 0; skip < 2; ++skip) {
    if (!header(data, size, &at, &length)) return;
    at += length;
  }
  if (at < size && (data[at] == 0xa0 || data[at] == 0xa1)) data[at] = 0xa2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* address = "127.0.0.1";
  int port = 0, lifetime = 3600, opt;
  bool respond = false;
  while ((opt = getopt(argc, argv, "a:p:rt:")) != -1) {
    switch (opt) {
      case 'a':
        address = optarg;
        break;
      case 'p':
        port = std::atoi(optarg);
        break;
      case 'r':
        respond = true;
        break;
      case 't':
        lifetime = std::atoi(optarg);
        break;
      default:
        port = -1;
        break;
    }
  }
  if (port <= 0 || port > 65535 || lifetime <= 0) {
    std::fprintf(stderr, "usage: echo -p PORT [-a ADDRESS] [-r] [-t MAX_SECONDS]\n");
    return 2;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);

  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(std::uint16_t(port));
  if (inet_pton(AF_INET, address, &local.sin_addr) != 1) {
    std::fprintf(stderr, "echo: bad address %s\n", address);
    return 2;
  }
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  // Wakes once a second while idle to see whether its time is up.
  timeval idle{1, 0};
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    std::perror("echo");
    return 1;
  }
  const time_t end = time(nullptr) + lifetime;
  static std::uint8_t buffer[65536];
  unsigned long answered = 0;
  while (!stopRequested && time(nullptr) < end) {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t n =
        recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      std::perror("echo: recvfrom");
      break;
    }
    if (respond) turnIntoResponse(buffer, std::size_t(n));
    if (sendto(fd, buffer, std::size_t(n), 0, reinterpret_cast<sockaddr*>(&from), fromLength) ==
        n) {
      ++answered;
    }
  }
  close(fd);
  std::printf("echo: answered %lu datagrams\n", answered);
  return 0;
}
