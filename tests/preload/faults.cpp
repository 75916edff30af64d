// Faults injected into the agent binary, preloaded (LD_PRELOAD) and chosen by environment:
//   SNMPD_FAULT_SECCOMP=refuse    the kernel seems to refuse the system-call filter, as an
//                                 old kernel or an emulator does (the memory checker needs
//                                 it: its own calls would break any allow-list)
//   SNMPD_FAULT_RECEIVES="EINTR ENOBUFS ..."   the first receives fail with these errors,
//                                 in order; later ones reach the kernel
//   SNMPD_FAULT_ALLOC=N           the N-th allocation (malloc, calloc, realloc) counted from
//                                 this module's constructor returns null with ENOMEM, and
//                                 "fault: allocation N failed" goes to standard error
// Always: SIGUSR2 writes "live L calls C" to standard error, L the blocks allocated and not
// freed, C the allocations counted so far.
#include <linux/prctl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

// glibc's allocator under its own names: reaching it through dlsym would allocate.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
}

namespace {

// Plain words: the agent has one thread, and the signal handler only reads them.
long live = 0, calls = 0, failing = 0;
bool counting = false;  // the loader's and the C library's start-up are not counted

// One line in one write, digits by hand: safe in a signal handler, allocates nothing.
struct Line {
  char text[96];
  std::size_t n = 0;
  Line& operator<<(const char* s) {
    while (*s != '\0' && n < sizeof text) text[n++] = *s++;
    return *this;
  }
  Line& operator<<(long v) {
    char digits[24], *d = digits + sizeof digits - 1;
    *d = '\0';
    unsigned long u = v < 0 ? 0 - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
    do *--d = static_cast<char>('0' + u % 10);
    while ((u /= 10) != 0);
    if (v < 0) *--d = '-';
    return *this << d;
  }
  ~Line() {
    const int saved = errno;
    ssize_t ignored = write(2, text, n);
    (void)ignored;
    errno = saved;
  }
};

// True when this allocation is the one to fail.
bool failsNow() {
  if (!counting || ++calls != failing) return false;
  Line() << "fault: allocation " << calls << " failed\n";
  errno = ENOMEM;
  return true;
}

void* counted(void* block) {
  if (block != nullptr) ++live;
  return block;
}

__attribute__((constructor)) void start() {
  if (const char* n = std::getenv("SNMPD_FAULT_ALLOC")) failing = std::strtol(n, nullptr, 10);
  struct sigaction action = {};
  action.sa_handler = [](int) { Line() << "live " << live << " calls " << calls << "\n"; };
  action.sa_flags = SA_RESTART;
  sigaction(SIGUSR2, &action, nullptr);
  counting = true;
}

int errorNamed(const char* name, std::size_t length) {
  static const struct {
    const char* name;
    int error;
  } kErrors[] = {{"EINTR", EINTR},   {"ENOBUFS", ENOBUFS},          {"ENOMEM", ENOMEM},
                 {"EBADF", EBADF},   {"ENOTSOCK", ENOTSOCK},        {"EFAULT", EFAULT},
                 {"EAGAIN", EAGAIN}, {"ECONNREFUSED", ECONNREFUSED}};
  for (const auto& e : kErrors) {
    if (std::strlen(e.name) == length && std::strncmp(e.name, name, length) == 0) return e.error;
  }
  return EIO;
}

}  // namespace

extern "C" void* malloc(size_t size) {
  return failsNow() ? nullptr : counted(__libc_malloc(size));
}

extern "C" void* calloc(size_t count, size_t size) {
  return failsNow() ? nullptr : counted(__libc_calloc(count, size));
}

extern "C" void* realloc(void* block, size_t size) {
  if (block == nullptr) return malloc(size);
  if (size != 0 && failsNow()) return nullptr;
  if (size == 0) --live;  // glibc frees the block
  return __libc_realloc(block, size);
}

extern "C" void free(void* block) {
  if (block != nullptr) --live;
  __libc_free(block);
}

extern "C" int prctl(int option, ...) {
  va_list list;
  va_start(list, option);
  unsigned long arguments[4];
  for (unsigned long& argument : arguments) argument = va_arg(list, unsigned long);
  va_end(list);
  const char* fault = std::getenv("SNMPD_FAULT_SECCOMP");
  if (option == PR_SET_SECCOMP && fault != nullptr && std::strcmp(fault, "refuse") == 0) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(
      syscall(SYS_prctl, option, arguments[0], arguments[1], arguments[2], arguments[3]));
}

extern "C" ssize_t recvfrom(int fd, void* buffer, size_t size, int flags, sockaddr* from,
                            socklen_t* fromLength) {
  static const char* next = std::getenv("SNMPD_FAULT_RECEIVES");
  if (next != nullptr) {
    while (*next == ' ') ++next;
    if (*next != '\0') {
      const std::size_t length = std::strcspn(next, " ");
      errno = errorNamed(next, length);
      next += length;
      return -1;
    }
  }
  return syscall(SYS_recvfrom, fd, buffer, size, flags, from, fromLength);
}
