#include "common/sysfile.hpp"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

char sysfileRoot[kSysPathMax];
std::size_t rootLength = 0;
unsigned rootGeneration = 0;  // kept descriptors belong to the root they were opened under
int requestDepth = 0;
unsigned requestSerial = 0;

// One read from offset 0: a regular file and a kernel file rendered whole (as the counter
// files are) give all they hold up to the buffer's size at once.
ssize_t readWhole(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, size, 0);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool onProcfs(int fd) {
  struct statfs fs {};
  return ::fstatfs(fd, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

// The path under SNMPD_ROOT, opened read-only; -1 when it cannot be, or when it is neither a
// regular file nor the kernel's own: a FIFO (opened without blocking, so that none stalls
// the agent), a device such as /dev/zero or a directory reads as a missing file.
int openSystemFile(const char* path) {
  char full[kSysPathMax];
  const std::size_t length = std::strlen(path);
  if (rootLength + length >= sizeof full) return -1;
  std::memcpy(full, sysfileRoot, rootLength);
  std::memcpy(full + rootLength, path, length + 1);
  FileDescriptor fd(::open(full, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat status {};
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0) return -1;
  if (!S_ISREG(status.st_mode) && !onProcfs(fd.get())) return -1;
  return fd.release();
}

}  // namespace

bool sysfileInit() {
  const char* root = std::getenv("SNMPD_ROOT");
  const std::size_t length = root != nullptr ? std::strlen(root) : 0;
  ++rootGeneration;
  rootLength = 0;
  if (length >= sizeof sysfileRoot) return false;
  if (length > 0) std::memcpy(sysfileRoot, root, length);
  rootLength = length;
  return true;
}

SysLines::SysLines(const char* path) : fd_(openSystemFile(path)) {}

// Moves the unread rest to the front and reads more after it; false when nothing came.
bool SysLines::fill() {
  if (eof_ || !fd_.valid()) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  for (;;) {
    const std::size_t room = std::min(buffer_.size() - end_, kBytesMax - bytesRead_);
    ssize_t n = room > 0 ? ::read(fd_.get(), buffer_.data() + end_, room) : 0;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      eof_ = true;
      return false;
    }
    end_ += static_cast<std::size_t>(n);
    bytesRead_ += static_cast<std::size_t>(n);
    return true;
  }
}

bool SysLines::next(std::string_view* line) {
  if (lines_ >= kLinesMax) return false;
  ++lines_;
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const std::size_t buffered = end_ - begin_;
    if (const void* found = std::memchr(start, '\n', buffered)) {
      const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(found) - start);
      begin_ += length + 1;
      if (skipping_) {
        skipping_ = false;
        continue;
      }
      *line = std::string_view(start, std::min(length, kLineMax));
      return true;
    }
    if (skipping_) {
      begin_ = end_;  // the buffered tail of an overlong line
    } else if (buffered >= kLineMax) {
      // An overlong line: its head now, the rest skipped up to its line end.
      *line = std::string_view(start, kLineMax);
      begin_ = end_;
      skipping_ = true;
      return true;
    }
    if (!fill()) {
      if (skipping_ || begin_ == end_) return false;
      *line = std::string_view(buffer_.data() + begin_, end_ - begin_);  // no line end
      begin_ = end_;
      return true;
    }
  }
}

SysRequest::SysRequest() {
  if (requestDepth++ == 0 && ++requestSerial == 0) requestSerial = 1;
}

SysRequest::~SysRequest() {
  --requestDepth;
}

bool SysSnapshot::read(std::string_view* text) {
  if (generation_ != rootGeneration) {
    kept_.close();
    generation_ = rootGeneration;
    serial_ = 0;
  }
  if (requestDepth == 0 || serial_ != requestSerial) {
    FileDescriptor opened;
    int fd = kept_.get();
    if (fd < 0) {
      opened = FileDescriptor(openSystemFile(path_));
      fd = opened.get();
    }
    ssize_t n = fd >= 0 ? readWhole(fd, buffer_.data(), buffer_.size()) : -1;
    if (n < 0 && kept_.valid()) kept_.close();  // opened again at the next read
    if (opened.valid() && n >= 0 && onProcfs(fd)) kept_ = std::move(opened);
    readable_ = n >= 0;
    length_ = readable_ ? static_cast<std::size_t>(n) : 0;
    serial_ = requestDepth > 0 ? requestSerial : 0;
  }
  *text = std::string_view(buffer_.data(), length_);
  return readable_;
}
