// Every system file the agent reads (/proc/..., /etc/version) is read here: a list of
// lines through SysLines, a small counter file whole through SysSnapshot. When SNMPD_ROOT
// is set and not empty at start-up, paths are taken under that directory, so tests and
// operators can point the agent at captured files.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "common/fd.hpp"

// The longest path a system file may have, SNMPD_ROOT included.
inline constexpr std::size_t kSysPathMax = 4096;

// Reads SNMPD_ROOT once; called by the daemon at start-up (and by tests). False when it is
// too long to put a path under (every file then reads as missing).
bool sysfileInit();

// A system file read line by line through one fixed buffer, with no allocation.
class SysLines {
 public:
  static constexpr std::size_t kLineMax = 1024;  // longer lines are cut here, the rest skipped
  // What one reading takes at most, far above any kernel table a board holds (a million
  // routes or connections): a file that never ends cannot keep the agent reading.
  static constexpr std::size_t kLinesMax = 1 << 20;
  static constexpr std::size_t kBytesMax = std::size_t{128} << 20;

  explicit SysLines(const char* path);
  bool valid() const { return fd_.valid(); }
  // The next line without its line end; false at the end of the file. The view is valid
  // until the next call.
  bool next(std::string_view* line);

 private:
  bool fill();

  FileDescriptor fd_;
  std::array<char, 16384> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  std::size_t bytesRead_ = 0, lines_ = 0;
  bool eof_ = false;
  bool skipping_ = false;
};

// While one of these lives (the engine holds one for each request), every SysSnapshot is read
// at most once, so the values a request names from one file come from one instant.
class SysRequest {
 public:
  SysRequest();
  ~SysRequest();
  SysRequest(const SysRequest&) = delete;
  SysRequest& operator=(const SysRequest&) = delete;
};

// A small system file read whole. A file of the kernel's own (procfs) renders afresh at every
// read from offset 0, so its descriptor is kept and read again; any other file (a fixture under
// SNMPD_ROOT) is opened anew for every read, so that it is read as it stands.
class SysSnapshot {
 public:
  static constexpr std::size_t kSize = 16384;  // the first 16 KiB are read

  explicit SysSnapshot(const char* path) : path_(path) {}
  // The file's text; false when it cannot be opened or read.
  bool read(std::string_view* text);

 private:
  const char* path_;
  FileDescriptor kept_;
  unsigned generation_ = 0;  // the SNMPD_ROOT reading the kept descriptor belongs to
  unsigned serial_ = 0;      // the request it was last read for, 0 for none
  bool readable_ = false;
  std::size_t length_ = 0;
  std::array<char, kSize> buffer_;
};
