#include "daemon/snmpd.hpp"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "asn/asl.hpp"
#include "asn/host.hpp"
#include "asn/rdx.hpp"
#include "common/snmpmib.hpp"
#include "common/sysfile.hpp"
#include "daemon/seccomp.hpp"
#include "daemon/udp.hpp"
#include "engine/ap0.hpp"
#include "engine/aps.hpp"
#include "engine/smp.hpp"
#include "groups/at_vars.hpp"
#include "groups/icmp_vars.hpp"
#include "groups/iface_vars.hpp"
#include "groups/ip_vars.hpp"
#include "groups/kyrel_vars.hpp"
#include "groups/systm.hpp"
#include "groups/tcp_vars.hpp"
#include "groups/udp_vars.hpp"
#include "mib/avl.hpp"
#include "mib/mis.hpp"
#include "mib/mix.hpp"

namespace {

struct SmpRelease {
  void operator()(Smp* context) const noexcept { smpFree(context); }
};
using SmpHandle = std::unique_ptr<Smp, SmpRelease>;

// A user's name, or a number (that need not name an account): its user and group IDs.
bool findUser(const char* text, unsigned* user, unsigned* group) {
  if (const passwd* entry = getpwnam(text)) {
    *user = entry->pw_uid;
    *group = entry->pw_gid;
    return true;
  }
  // Digits only; 2^32 - 1 is the "no change" ID, no user.
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long number = std::strtoull(text, &end, 10);
  if (*end != '\0' || errno != 0 || number >= 0xFFFFFFFFull) return false;
  *user = *group = static_cast<unsigned>(number);
  if (const passwd* entry = getpwuid(*user)) *group = entry->pw_gid;
  return true;
}

// Leaves root for good: supplementary groups, group, user, then a check that the way back
// is closed. 0, or 1 after the failing call's message.
int dropTo(unsigned user, unsigned group) {
  if (setgroups(0, nullptr) != 0) {
    std::perror("setgroups");
    return 1;
  }
  if (setgid(group) != 0) {
    std::perror("setgid");
    return 1;
  }
  if (setuid(user) != 0) {
    std::perror("setuid");
    return 1;
  }
  if (user != 0 && (setuid(0) == 0 || seteuid(0) == 0)) {
    std::fputs("setuid: root can be regained\n", stderr);
    return 1;
  }
  return 0;
}

}  // namespace

int usage(const char* program) {
  std::fprintf(stderr, "Usage: %s", program);
  std::fprintf(stderr, " [-h lhost]");
  std::fprintf(stderr, " [-p lport]");
  std::fprintf(stderr, " [-c community]");
  std::fprintf(stderr, " [-f]");
  std::fprintf(stderr, " [-u user]");
  std::fprintf(stderr, "\n");
  return 1;
}

int myUpCall(Smp*, SmpPdu*) {
  std::fputs("Upcall:\n", stdout);
  std::fflush(stdout);  // whoever watches the agent sees each upcall at once
  return 0;
}

// Only async-signal-safe work here: the socket and all else go with the process.
void done(int) {
  _exit(0);
}

int snmpdOptions(int argc, char** argv, SnmpdConfig* config) {
  *config = SnmpdConfig{};
  if (argc > 0 && argv[0] != nullptr) config->program = argv[0];

  int unread = argc - 1;
  char** cursor = argv + 1;
  // Each letter takes the next unread argument in turn; a letter that finds none left
  // takes no value and the option counts as not given.
  auto take = [&]() -> const char* {
    if (unread <= 0) return nullptr;
    --unread;
    return *cursor++;
  };
  bool ok = true;
  while (ok && unread > 0 && (*cursor)[0] == '-') {
    const char* letters = *cursor++ + 1;
    --unread;
    for (; ok && *letters != '\0'; ++letters) {
      switch (*letters) {
        case 'h':
          config->hostText = take();
          break;
        case 'p':
          config->portText = take();
          break;
        case 'c':
          config->community = take();
          break;
        case 'f':
          config->foreground = true;
          break;
        case 'u':
          config->userText = take();
          break;
        default:
          ok = false;
          break;
      }
    }
  }
  if (!ok || unread > 0) return usage(config->program);

  if (config->hostText != nullptr) {
    config->address = hostAddress(config->hostText);
    if (config->address == kHostFailure) {
      std::fprintf(stderr, "%s: Bad foreign host: %s\n", config->program, config->hostText);
      return 2;
    }
  }
  if (config->portText != nullptr) {
    std::uint32_t port = 0;
    if (rdxDecodeAny(&port, config->portText) < 0) {
      std::fprintf(stderr, "%s: Bad local port: %s\n", config->program, config->portText);
      return 2;
    }
    config->port = static_cast<std::uint16_t>(port);  // low 16 bits: 65697 is 161
  }
  if (config->community == nullptr) config->community = kDefaultCommunity;
  // A longer community could never match: refuse it rather than serve no one.
  if (std::strlen(config->community) > kApsMaxCommunity) {
    std::fprintf(stderr, "%s: Bad community: %s\n", config->program, config->community);
    return 2;
  }
  if (config->userText != nullptr && !findUser(config->userText, &config->user, &config->group)) {
    std::fprintf(stderr, "%s: Bad user: %s\n", config->program, config->userText);
    return 2;
  }
  return 0;
}

// Order matters: the MIB index before anything registers, the scheme "trivial" before the
// community entry names it. Every step must succeed: an agent that serves part of its MIB
// is wrong in a way no manager can tell.
bool cmdInit() {
  asnInit(aslInit());
  if (misInit() == nullptr) return false;
  avlInit(nullptr);
  mixInit(nullptr);
  apsInit();
  for (int (*step)() : {ap0Init, smpInit, systmInit, ipInit, ifaceInit, tcpInit, icmpInit, udpInit,
                        kyrelInit, atInit}) {
    if (step() != 0) return false;
  }
  return true;
}

void snmpdReceive(int socket) {
  std::uint8_t buffer[kSmpMaxDatagram];  // longer datagrams are cut by the socket layer
  for (;;) {
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    ssize_t received = recvfrom(socket, buffer, sizeof buffer, 0,
                                reinterpret_cast<sockaddr*>(&sender), &senderLength);
    const int error = errno;
    snmpCount(snmpInPkts);  // every receive call, failed ones too

    UdpHandle endpoint(udpNew(socket, sender.sin_addr.s_addr, sender.sin_port));
    SmpHandle context(smpNew(endpoint.get(), udpSend, myUpCall));
    if (received > 0) smpInputBytes(context.get(), buffer, static_cast<int>(received));
    context.reset();  // the context before its endpoint
    endpoint.reset();
    // A signal, or the kernel short of buffers or memory for a moment, is no reason to stop
    // serving; anything else is, and the caller reports it.
    if (received < 0 && error != EINTR && error != ENOBUFS && error != ENOMEM) {
      errno = error;
      return;
    }
  }
}

int snmpdCommand(int argc, char** argv) {
  SnmpdConfig config;
  if (int status = snmpdOptions(argc, argv, &config); status != 0) return status;

  if (!sysfileInit()) {
    std::fprintf(stderr, "%s: SNMPD_ROOT longer than %zu bytes\n", config.program, kSysPathMax - 1);
    return 1;
  }
  if (!cmdInit()) {
    std::fprintf(stderr, "%s: out of memory\n", config.program);
    return 1;
  }

  FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM, 0));
  if (!socket.valid()) {
    std::perror("socket");
    return 1;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(config.port);
  local.sin_addr.s_addr = config.address;
  if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    std::perror("bind");
    return 1;
  }
  // Without the entry every message would fail the community check; its length was checked.
  ApsHandle community(apsNew(config.community, "trivial", 0));
  if (!community) {
    std::fprintf(stderr, "%s: out of memory\n", config.program);
    return 1;
  }
  // Bound, and every start-up read done: root is needed no longer.
  if (config.userText != nullptr) {
    if (int status = dropTo(config.user, config.group); status != 0) return status;
  }

  // Every start-up failure has been reported to the caller by now.
  if (!config.foreground) {
    std::fflush(nullptr);  // nothing buffered may be written twice
    pid_t child = fork();
    if (child < 0) {
      std::perror("fork");
      return 1;
    }
    if (child > 0) return 0;
  }
#ifdef SNMPD_SECCOMP
  // Start-up is over: from here on only the serving loop's own calls. Where the kernel
  // refuses the filter the agent serves unfiltered ("Seccomp: 0" in /proc/PID/status).
  seccompInstall();
#endif

  snmpdReceive(socket.get());
  // Not perror: glibc's duplicates the descriptor, a call the filter does not allow.
  std::fprintf(stderr, "recv: %s\n", std::strerror(errno));
  community.reset();  // the entry before the socket
  socket.close();
  return 1;  // a supervisor restarts an agent that stopped serving
}
