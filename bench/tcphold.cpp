// Opens N loopback TCP connection pairs (2N established sockets) and holds them until it is
// signalled or its time is up, so that a connection table of a known size can be walked.
// Prints "ready PAIRS" once every pair is established.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kMaxPairs = 20000;

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) {
  stopRequested = 1;
}

// Closes every descriptor it holds when the program ends.
struct Descriptors {
  std::vector<int> fds;
  ~Descriptors() {
    for (int fd : fds) close(fd);
  }
};

}  // namespace

int main(int argc, char** argv) {
  int pairs = 2000, lifetime = 600, opt;
  while ((opt = getopt(argc, argv, "n:t:")) != -1) {
    switch (opt) {
      case 'n':
        pairs = std::atoi(optarg);
        break;
      case 't':
        lifetime = std::atoi(optarg);
        break;
      default:
        pairs = -1;
        break;
    }
  }
  if (pairs < 1 || pairs > kMaxPairs || lifetime < 1) {
    std::fprintf(stderr, "usage: tcphold [-n PAIRS (1-%d)] [-t MAX_SECONDS]\n", kMaxPairs);
    return 2;
  }
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  const rlim_t need = rlim_t(2 * pairs + 16);
  if (files.rlim_cur < need) {
    files.rlim_cur = std::min(need, files.rlim_max);
    setrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < need) {
      std::fprintf(stderr, "tcphold: descriptors limited to %lu, %d pairs need %lu\n",
                   static_cast<unsigned long>(files.rlim_cur), pairs,
                   static_cast<unsigned long>(need));
      return 1;
    }
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGALRM, onSignal);

  Descriptors held;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) {
    std::perror("tcphold: socket");
    return 1;
  }
  held.fds.push_back(listener);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("tcphold: listen");
    return 1;
  }
  for (int i = 0; i < pairs && !stopRequested; ++i) {
    int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client >= 0) held.fds.push_back(client);
    if (client < 0 || connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      std::perror("tcphold: connect");
      return 1;
    }
    int server = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (server < 0) {
      std::perror("tcphold: accept");
      return 1;
    }
    held.fds.push_back(server);
  }
  std::printf("ready %d\n", pairs);
  std::fflush(stdout);
  alarm(unsigned(lifetime));
  while (!stopRequested) pause();
  return 0;
}
