// Move-only owner of a file descriptor (sockets, system files).
#pragma once

#include <utility>

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { close(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Result of close(2), or 0 when nothing was open.
  int close();
  // The descriptor, no longer owned.
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};
