// For the group tests: a fixture tree under SNMPD_ROOT, Get, GetNext and whole walks
// through the agent's one MIB index, and the bytes of a value.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/sysfile.hpp"
#include "mib/mis.hpp"
#include "mib/mix.hpp"
#include "tests/support.hpp"

// A tree of system files under SNMPD_ROOT for the running test, removed with it.
class FixtureRoot {
 public:
  explicit FixtureRoot(const std::string& prefix)
      : path_(std::filesystem::temp_directory_path() /
              (prefix + "-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_ / "proc/net");
    setenv("SNMPD_ROOT", path_.c_str(), 1);
    sysfileInit();
  }
  ~FixtureRoot() {
    unsetenv("SNMPD_ROOT");
    sysfileInit();
    std::filesystem::remove_all(path_);
  }
  FixtureRoot(const FixtureRoot&) = delete;
  FixtureRoot& operator=(const FixtureRoot&) = delete;

  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& path, const std::string& body) const {
    std::filesystem::create_directories((path_ / path).parent_path());
    std::ofstream(path_ / path, std::ios::binary) << body;
  }

 private:
  std::filesystem::path path_;
};

// Shortest two's-complement contents of a non-negative number.
inline Bytes unsignedContents(unsigned n) {
  Bytes out;
  do {
    out.insert(out.begin(), static_cast<std::uint8_t>(n));
    n >>= 8;
  } while (n != 0);
  if (out[0] & 0x80) out.insert(out.begin(), 0);
  return out;
}

inline Asn mibGet(const Bytes& oid) {
  return mixGet(misCommunityToMib(nullptr), oid.data(), static_cast<int>(oid.size()));
}

// The instance GetNext finds, empty when none.
inline Bytes mibNext(const Bytes& oid) {
  std::uint8_t buffer[kMixOidBuffer] = {};
  std::copy(oid.begin(), oid.end(), buffer);
  int length = static_cast<int>(oid.size());
  Asn found = mixNext(misCommunityToMib(nullptr), buffer, &length);
  return found ? Bytes(buffer, buffer + length) : Bytes{};
}

// Every instance from `oid` on, by repeated GetNext.
inline std::vector<Bytes> mibWalk(Bytes oid = {}) {
  std::vector<Bytes> all;
  for (int guard = 0; guard < 100000; ++guard) {
    oid = mibNext(oid);
    if (oid.empty()) break;
    all.push_back(oid);
  }
  return all;
}
