#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "daemon/snmpd.hpp"

int main(int argc, char** argv) {
  // "Upcall:" lines must not wait in a buffer that a signal's exit would drop.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::signal(SIGINT, done);
  std::signal(SIGTERM, done);
  std::signal(SIGHUP, done);
  std::exit(snmpdCommand(argc, argv));
}
