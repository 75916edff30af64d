// Faults injected into the agent binary, preloaded (LD_PRELOAD) and chosen by environment:
//   SNMPD_FAULT_SECCOMP=refuse    the kernel seems to refuse the system-call filter, as an
//                                 old kernel or an emulator does (the memory checker needs
//                                 it: its own calls would break any allow-list)
//   SNMPD_FAULT_RECEIVES="EINTR ENOBUFS ..."   the first receives fail with these errors,
//                                 in order; later ones reach the kernel
#include <linux/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

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
