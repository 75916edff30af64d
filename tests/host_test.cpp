#include "asn/host.hpp"

#include <arpa/inet.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/netns.hpp"

namespace {

std::uint32_t fromBytes(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  std::uint8_t bytes[4] = {a, b, c, d};
  std::uint32_t word;
  std::memcpy(&word, bytes, 4);
  return word;
}

TEST(Host, AddressTable) {
  struct {
    const char* text;
    std::uint32_t address;
  } const cases[] = {
      {"10.0.0.1", fromBytes(0x0A, 0x00, 0x00, 0x01)},
      {"127.0.0.1", fromBytes(127, 0, 0, 1)},
      {"0.0.0.0", 0},
      {"192.168.1.254", fromBytes(192, 168, 1, 254)},
      {"localhost", fromBytes(127, 0, 0, 1)},  // from the hosts file, no resolver traffic
      {"255.255.255.255", kHostFailure},       // indistinguishable from failure
  };
  for (const auto& c : cases) EXPECT_EQ(hostAddress(c.text), c.address) << c.text;
  EXPECT_EQ(hostAddress(nullptr), kHostFailure);
}

TEST(Host, StringOfNamedAddressFitsExactly) {
  std::uint32_t loopback = fromBytes(127, 0, 0, 1);
  char buffer[32];
  std::memset(buffer, '#', sizeof buffer);
  int length = hostString(buffer, sizeof buffer - 1, loopback);
  ASSERT_GT(length, 0);
  std::string name(buffer);
  ASSERT_EQ(static_cast<int>(name.size()), length);

  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(hostString(buffer, length, loopback), length) << "a name of exactly the maximum fits";
  EXPECT_EQ(std::string(buffer, length + 1), name + '\0');
  EXPECT_EQ(buffer[length + 1], '#');

  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(hostString(buffer, length - 1, loopback), 0);
  EXPECT_EQ(buffer[0], '#') << "nothing written when too long";
}

// An address without a reverse entry falls back to its dotted form. The look-up runs in a
// child with a private, empty network namespace so that it cannot reach any name server.
TEST(Host, StringFallsBackToDottedForm) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0) _exit(77);
    char buffer[16];
    int length = hostString(buffer, 15, fromBytes(192, 0, 2, 77));
    bool ok = length == 10 && std::strcmp(buffer, "192.0.2.77") == 0;
    ok = ok && hostString(buffer, 9, fromBytes(192, 0, 2, 77)) == 0;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) {
    if (netnsRequired()) FAIL() << "cannot create a network namespace (SNMPD_REQUIRE_NETNS=1)";
    GTEST_SKIP() << "cannot create a network namespace here";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
