#include "daemon/seccomp.hpp"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#ifndef SECCOMP_RET_KILL_PROCESS
#define SECCOMP_RET_KILL_PROCESS 0x80000000U  // older kernels take it as kill-thread
#endif

namespace {

// The architectures with a list; any other serves unfiltered. Each call number below is
// the target's own, from its headers, and the audit architecture keeps a process of another
// ABI on the same kernel (x32, arm's OABI, mips n32) from reaching them.
#if defined(__x86_64__) && !defined(__ILP32__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__) && defined(__AARCH64EL__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#elif defined(__arm__) && defined(__ARM_EABI__) && defined(__ARMEL__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_ARM;
#elif defined(__mips__) && defined(_ABIO32) && _MIPS_SIM == _ABIO32 && defined(__MIPSEB__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_MIPS;
#elif defined(__mips__) && defined(_ABIO32) && _MIPS_SIM == _ABIO32 && defined(__MIPSEL__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_MIPSEL;
#else
constexpr std::uint32_t kAuditArch = 0;
#endif

// Calls allowed whatever their arguments. The C libraries reach the same function through
// different calls (fstat through statx or fstatat64 on 32-bit targets, the clock through
// clock_gettime64): every variant the target has is listed.
constexpr long kAllowed[] = {
    __NR_recvfrom,
    __NR_sendto,
    __NR_read,
    __NR_pread64,
    __NR_write,
    __NR_close,
    __NR_lseek,
#ifdef __NR__llseek
    __NR__llseek,
#endif
    __NR_fstatfs,
#ifdef __NR_fstatfs64
    __NR_fstatfs64,
#endif
#ifdef __NR_fstat
    __NR_fstat,
#endif
#ifdef __NR_fstat64
    __NR_fstat64,
#endif
#ifdef __NR_newfstatat
    __NR_newfstatat,
#endif
#ifdef __NR_fstatat64
    __NR_fstatat64,
#endif
    __NR_statx,
    __NR_clock_gettime,
#ifdef __NR_clock_gettime64
    __NR_clock_gettime64,
#endif
    __NR_uname,  // gethostname
    __NR_brk,
    __NR_munmap,
    __NR_mremap,
    __NR_madvise,
    __NR_rt_sigreturn,
#ifdef __NR_sigreturn
    __NR_sigreturn,
#endif
    __NR_restart_syscall,
    __NR_exit,
    __NR_exit_group,
};

// The interface queries, and the terminal query stdio makes before it first writes.
constexpr std::uint32_t kIoctls[] = {
    SIOCGIFADDR, SIOCGIFNETMASK, SIOCGIFHWADDR, SIOCGIFFLAGS,
    SIOCGIFMTU,  SIOCGIFTXQLEN,  TCGETS,        TIOCGWINSZ,
};

constexpr std::uint32_t kAllow = SECCOMP_RET_ALLOW;
constexpr std::uint32_t kKill = SECCOMP_RET_KILL_PROCESS;

// The low 32 bits of an argument: every argument checked here is an int or a flag word.
constexpr std::uint32_t argument(int index) {
  constexpr bool bigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
  return static_cast<std::uint32_t>(offsetof(seccomp_data, args) + 8 * index + (bigEndian ? 4 : 0));
}

// One test of an argument: (argument & mask) is one of the values.
struct Condition {
  int index;
  std::uint32_t mask;
  std::span<const std::uint32_t> values;
};

// A classic BPF program, built once at start-up into a fixed buffer.
class Program {
 public:
  void load(std::uint32_t offset) { add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
  void ret(std::uint32_t action) { add(BPF_STMT(BPF_RET | BPF_K, action)); }

  // Goes on when the loaded word is the value, kills otherwise.
  void require(std::uint32_t value) {
    jump(value, 1, 0);
    ret(kKill);
  }

  void allow(long call) {
    jump(static_cast<std::uint32_t>(call), 0, 1);
    ret(kAllow);
  }

  // The call is allowed when every condition holds and kills otherwise; a different call
  // skips the block with its number still loaded.
  void allowIf(long call, std::initializer_list<Condition> conditions) {
    std::size_t length = 1 + 2;  // the call's test; kill and allow at the end
    for (const Condition& c : conditions) length += 2 + c.values.size();
    const std::size_t start = count_;
    const std::size_t kill = start + length - 2;
    jump(static_cast<std::uint32_t>(call), 0, offset(start, start + length));
    for (const Condition& c : conditions) {
      load(argument(c.index));
      add(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, c.mask));
      // A match goes on to the next condition's test, the last one's to the allow.
      std::size_t next = count_ + c.values.size();
      if (next == kill) ++next;
      for (std::size_t i = 0; i < c.values.size(); ++i) {
        const bool last = i + 1 == c.values.size();
        jump(c.values[i], offset(count_, next), last ? offset(count_, kill) : 0);
      }
    }
    ret(kKill);
    ret(kAllow);
  }

  // Null when the program outgrew its buffer or a jump its byte.
  const sock_fprog* program() {
    if (broken_ || count_ > kCapacity) return nullptr;
    fprog_ = {static_cast<unsigned short>(count_), code_};
    return &fprog_;
  }

 private:
  static constexpr std::size_t kCapacity = 160;

  // Jumps count from the instruction after the jump and reach at most 255 further.
  std::uint8_t offset(std::size_t from, std::size_t to) {
    if (to <= from || to - from - 1 > 255) broken_ = true;
    return static_cast<std::uint8_t>(to - from - 1);
  }
  void jump(std::uint32_t value, std::uint8_t taken, std::uint8_t other) {
    add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, taken, other));
  }
  void add(sock_filter instruction) {
    if (count_ < kCapacity) code_[count_] = instruction;
    ++count_;
  }

  sock_filter code_[kCapacity] = {};
  std::size_t count_ = 0;
  bool broken_ = false;
  sock_fprog fprog_{};
};

constexpr std::uint32_t kNone[] = {0};
constexpr std::uint32_t kInet[] = {AF_INET};
constexpr std::uint32_t kDatagram[] = {SOCK_DGRAM};

}  // namespace

int seccompInstall() {
  if (kAuditArch == 0) return -1;
  Program p;
  p.load(offsetof(seccomp_data, arch));
  p.require(kAuditArch);
  p.load(offsetof(seccomp_data, nr));
  for (long call : kAllowed) p.allow(call);
  // Kernel files are opened for reading only: nothing is created, truncated or written.
  constexpr std::uint32_t kWriting = O_ACCMODE | O_CREAT | O_TRUNC;
  p.allowIf(__NR_openat, {{2, kWriting, kNone}});
#ifdef __NR_open
  p.allowIf(__NR_open, {{1, kWriting, kNone}});
#endif
  // The heap's own mappings, never executable.
#ifdef __NR_mmap
  p.allowIf(__NR_mmap, {{2, PROT_EXEC, kNone}});
#endif
#ifdef __NR_mmap2
  p.allowIf(__NR_mmap2, {{2, PROT_EXEC, kNone}});
#endif
  // The interface queries' datagram socket, and only their requests.
  const std::uint32_t anyCloexec = ~static_cast<std::uint32_t>(SOCK_CLOEXEC);
  p.allowIf(__NR_socket, {{0, ~0U, kInet}, {1, anyCloexec, kDatagram}});
  p.allowIf(__NR_ioctl, {{1, ~0U, kIoctls}});
  p.ret(kKill);

  const sock_fprog* program = p.program();
  if (program == nullptr) return -1;
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return -1;
  return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, program) == 0 ? 0 : -1;
}
