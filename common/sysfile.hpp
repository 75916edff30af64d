// Every system file the agent reads (/proc/..., /etc/version) is opened here.
// When SNMPD_ROOT is set and not empty at start-up, paths are taken under that
// directory, so tests and operators can point the agent at captured files.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

// Reads SNMPD_ROOT once; called by the daemon at start-up (and by tests).
void sysfileInit();

// The path actually opened for a system path such as "/proc/net/snmp".
std::string sysfilePath(const char* path);

struct SysfileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using SysFile = std::unique_ptr<std::FILE, SysfileCloser>;

// stdio stream on the system file, or null when it cannot be opened.
SysFile sysfileOpen(const char* path);

// open(2) descriptor on the system file (read-only), or -1.
int sysfileOpenFd(const char* path);
