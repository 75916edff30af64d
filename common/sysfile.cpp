#include "common/sysfile.hpp"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string sysfileRoot;
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

// The path under SNMPD_ROOT, opened read-only; -1 when it cannot be.
int openSystemFile(const char* path) {
  return ::open((sysfileRoot + path).c_str(), O_RDONLY | O_CLOEXEC);
}

}  // namespace

void sysfileInit() {
  const char* root = std::getenv("SNMPD_ROOT");
  sysfileRoot = (root != nullptr) ? root : "";
  ++rootGeneration;
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
    ssize_t n = ::read(fd_.get(), buffer_.data() + end_, buffer_.size() - end_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      eof_ = true;
      return false;
    }
    end_ += static_cast<std::size_t>(n);
    return true;
  }
}

bool SysLines::next(std::string_view* line) {
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
