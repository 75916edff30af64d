// Preloaded into the agent, this makes the kernel look as if it refused the system-call
// filter, as an old kernel or an emulator does: the agent must then serve unfiltered. The
// memory checker needs it, since its own calls would break any allow-list.
#include <linux/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

extern "C" int prctl(int option, ...) {
  va_list list;
  va_start(list, option);
  unsigned long arguments[4];
  for (unsigned long& argument : arguments) argument = va_arg(list, unsigned long);
  va_end(list);
  if (option == PR_SET_SECCOMP) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(
      syscall(SYS_prctl, option, arguments[0], arguments[1], arguments[2], arguments[3]));
}
