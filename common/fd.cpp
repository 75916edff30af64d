#include "common/fd.hpp"

#include <unistd.h>

int FileDescriptor::close() {
  if (fd_ < 0) return 0;
  return ::close(std::exchange(fd_, -1));
}
