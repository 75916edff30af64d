// The agent's system-call filter bites: a process that installs it and then makes a call the
// serving loop never makes dies of SIGSYS, while the serving loop's own calls go through.
// Each case runs in a child of its own; the end-to-end suite proves the list complete.
#include "daemon/seccomp.hpp"

#include <fcntl.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr int kRefused = 77;  // the child's status where the kernel refused the filter

// Straight to the kernel: a sanitizer's exit hooks would make calls of their own.
[[noreturn]] void leave(int status) {
  syscall(SYS_exit_group, status);
  _exit(status);
}

int datagramSocket() {
  return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

struct FilterCase {
  const char* what;
  bool allowed;
  void (*call)();
};

const FilterCase kFilterCases[] = {
    {"an interface query on a datagram socket", true,
     [] {
       const int fd = datagramSocket();
       ifreq request{};
       std::strcpy(request.ifr_name, "lo");
       if (fd < 0 || ioctl(fd, SIOCGIFFLAGS, &request) != 0) leave(1);
       close(fd);
     }},
    {"a kernel file read", true,
     [] {
       char buffer[256];
       struct statfs fs {};
       const int fd = open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
       if (fd < 0 || read(fd, buffer, sizeof buffer) <= 0 || pread(fd, buffer, 8, 0) <= 0 ||
           fstatfs(fd, &fs) != 0) {
         leave(1);
       }
       close(fd);
     }},
    {"the clock and the host name", true,
     [] {
       timespec now{};
       char name[64];
       if (clock_gettime(CLOCK_MONOTONIC, &now) != 0 || gethostname(name, sizeof name) != 0) {
         leave(1);
       }
     }},
    {"execve", false,
     [] {
       char* const argv[] = {const_cast<char*>("true"), nullptr};
       execve("/bin/true", argv, argv + 1);
     }},
    {"a local socket", false, [] { socket(AF_UNIX, SOCK_DGRAM, 0); }},
    {"a stream socket", false, [] { socket(AF_INET, SOCK_STREAM, 0); }},
    {"a file opened for writing", false,
     [] { open("/tmp/snmpd-seccomp-test", O_WRONLY | O_CREAT | O_CLOEXEC, 0600); }},
    {"a file opened for truncation", false,
     [] { open("/proc/self/stat", O_RDONLY | O_TRUNC | O_CLOEXEC); }},
    {"an interface change", false,
     [] {
       const int fd = datagramSocket();
       ifreq request{};
       std::strcpy(request.ifr_name, "lo");
       ioctl(fd, SIOCSIFFLAGS, &request);
     }},
    {"executable memory", false,
     [] { mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0); }},
    {"a signal to itself", false, [] { syscall(SYS_kill, syscall(SYS_getpid), SIGTERM); }},
};

TEST(SeccompFilter, KillsWhatTheServingLoopNeverCalls) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer runtime makes calls of its own; this build's agent has no filter";
#endif
  for (const FilterCase& c : kFilterCases) {
    SCOPED_TRACE(c.what);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (seccompInstall() != 0) leave(kRefused);
      c.call();
      leave(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kRefused) {
      GTEST_SKIP() << "the kernel refused the filter (qemu-user cannot apply a guest's filter; "
                      "a kernel without seccomp has none)";
    }
    if (c.allowed) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS) << "status " << status;
    }
  }
  unlink("/tmp/snmpd-seccomp-test");
}

}  // namespace
