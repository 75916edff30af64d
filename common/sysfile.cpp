#include "common/sysfile.hpp"

#include <fcntl.h>

#include <cstdlib>

namespace {
std::string sysfileRoot;
}

void sysfileInit() {
  const char* root = std::getenv("SNMPD_ROOT");
  sysfileRoot = (root != nullptr) ? root : "";
}

std::string sysfilePath(const char* path) { return sysfileRoot + path; }

SysFile sysfileOpen(const char* path) {
  return SysFile(std::fopen(sysfilePath(path).c_str(), "r"));
}

int sysfileOpenFd(const char* path) {
  return ::open(sysfilePath(path).c_str(), O_RDONLY | O_CLOEXEC);
}
