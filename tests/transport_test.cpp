// The ICMP, TCP and UDP counters by kernel field name, and the socket-list lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/sockfile.hpp"
#include "common/sysfile.hpp"
#include "groups/icmp_vars.hpp"
#include "groups/tcp_vars.hpp"
#include "groups/udp_vars.hpp"
#include "mib/mis.hpp"
#include "tests/mib_support.hpp"
#include "tests/support.hpp"

namespace {

struct Object {
  int sub;
  const char* field;
  int oldPosition;  // in a line without header, as older kernels wrote it
  std::uint8_t tag;
};

struct Group {
  const char* prefix;
  std::uint8_t arc;  // 1.3.6.1.2.1.arc
  // Today's header, newer fields included, in the kernel's order.
  std::vector<std::string> today;
  std::vector<Object> objects;
};

std::vector<Group> groups() {
  std::vector<Object> icmp;
  const char* icmpNames[] = {
      "InMsgs",          "InErrors",     "InDestUnreachs", "InTimeExcds",      "InParmProbs",
      "InSrcQuenchs",    "InRedirects",  "InEchos",        "InEchoReps",       "InTimestamps",
      "InTimestampReps", "InAddrMasks",  "InAddrMaskReps", "OutMsgs",          "OutErrors",
      "OutDestUnreachs", "OutTimeExcds", "OutParmProbs",   "OutSrcQuenchs",    "OutRedirects",
      "OutEchos",        "OutEchoReps",  "OutTimestamps",  "OutTimestampReps", "OutAddrMasks",
      "OutAddrMaskReps"};
  for (int n = 1; n <= 26; ++n) icmp.push_back({n, icmpNames[n - 1], n, 0x41});
  return {
      {"Icmp:",
       5,
       {"InMsgs",          "InErrors",           "InCsumErrors",
        "InDestUnreachs",  "InTimeExcds",        "InParmProbs",
        "InSrcQuenchs",    "InRedirects",        "InEchos",
        "InEchoReps",      "InTimestamps",       "InTimestampReps",
        "InAddrMasks",     "InAddrMaskReps",     "OutMsgs",
        "OutErrors",       "OutRateLimitGlobal", "OutRateLimitHost",
        "OutDestUnreachs", "OutTimeExcds",       "OutParmProbs",
        "OutSrcQuenchs",   "OutRedirects",       "OutEchos",
        "OutEchoReps",     "OutTimestamps",      "OutTimestampReps",
        "OutAddrMasks",    "OutAddrMaskReps"},
       icmp},
      {"Tcp:",
       6,
       {"RtoAlgorithm", "RtoMin", "RtoMax", "MaxConn", "ActiveOpens", "PassiveOpens",
        "AttemptFails", "EstabResets", "CurrEstab", "InSegs", "OutSegs", "RetransSegs", "InErrs",
        "OutRsts", "InCsumErrors"},
       {{1, "RtoAlgorithm", 1, 0x02},
        {2, "RtoMin", 2, 0x02},
        {3, "RtoMax", 3, 0x02},
        {4, "MaxConn", 4, 0x02},
        {5, "ActiveOpens", 5, 0x41},
        {6, "PassiveOpens", 6, 0x41},
        {7, "AttemptFails", 7, 0x41},
        {8, "EstabResets", 8, 0x41},
        {9, "CurrEstab", 9, 0x42},
        {10, "InSegs", 10, 0x41},
        {11, "OutSegs", 11, 0x41},
        {12, "RetransSegs", 12, 0x41},
        {14, "InErrs", 13, 0x41},
        {15, "OutRsts", 14, 0x41}}},
      {"Udp:",
       7,
       {"InDatagrams", "NoPorts", "InErrors", "OutDatagrams", "RcvbufErrors", "SndbufErrors",
        "InCsumErrors", "IgnoredMulti", "MemErrors"},
       {{1, "InDatagrams", 1, 0x41},
        {2, "NoPorts", 2, 0x41},
        {3, "InErrors", 3, 0x41},
        {4, "OutDatagrams", 4, 0x41}}},
  };
}

// A value per field that no other field shares; tcpMaxConn is the kernel's -1.
long valueOf(const std::string& field, long base, int position) {
  return field == "MaxConn" ? -1 : base + position;
}

Bytes encodedNumber(std::uint8_t tag, long n) {
  return n < 0 ? Bytes{tag, 1, 0xFF} : tlv(tag, unsignedContents(static_cast<unsigned>(n)));
}

class TransportCounters : public ::testing::Test {
 protected:
  void SetUp() override {
    misInit();
    icmpInit();
    tcpInit();
    udpInit();
  }
  FixtureRoot root_{"transport"};
};

TEST_F(TransportCounters, EveryObjectIsReadByItsKernelFieldName) {
  const std::vector<Group> all = groups();
  for (bool today : {true, false}) {
    SCOPED_TRACE(today ? "today's layout" : "old layout without header");
    // Decoys first: prefixes that merely begin like the groups'.
    std::ostringstream file;
    file << "IcmpMsg: InType3 OutType3\nIcmpMsg: 7 7\nUdpLite: InDatagrams NoPorts\n"
         << "UdpLite: 8 8\n";
    for (const Group& g : all) {
      std::string header = g.prefix, values = g.prefix;
      if (today) {
        for (std::size_t i = 0; i < g.today.size(); ++i) {
          header += ' ';
          header += g.today[i];
          values += ' ';
          values += std::to_string(valueOf(g.today[i], g.arc * 1000L, static_cast<int>(i)));
        }
        file << header << "\n";
      } else {
        for (const Object& o : g.objects) {
          values += ' ';
          values += std::to_string(valueOf(o.field, g.arc * 1000L + 500, o.oldPosition));
        }
      }
      file << values << "\n";
    }
    root_.write("proc/net/snmp", file.str());
    for (const Group& g : all) {
      for (const Object& o : g.objects) {
        SCOPED_TRACE(std::string(g.prefix) + o.field);
        long want = g.arc * 1000L + 500 + o.oldPosition;
        if (today) {
          for (std::size_t i = 0; i < g.today.size(); ++i) {
            if (g.today[i] == o.field) want = g.arc * 1000L + static_cast<long>(i);
          }
        }
        if (std::string(o.field) == "MaxConn") want = -1;
        const Bytes oid = {0x2B, 6, 1, 2, 1, g.arc, static_cast<std::uint8_t>(o.sub), 0};
        EXPECT_EQ(hexText(encoded(mibGet(oid))), hexText(encodedNumber(o.tag, want)));
      }
    }
  }
  std::filesystem::remove(root_.path() / "proc/net/snmp");
  ::testing::internal::CaptureStdout();
  for (std::uint8_t arc : {5, 6, 7}) {
    const Bytes oid = {0x2B, 6, 1, 2, 1, arc, 1, 0};
    EXPECT_FALSE(mibGet(oid));
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "icmpRetrieve() Error opening /proc/net/snmp\n"
            "tcpRetrieve() Error opening /proc/net/snmp\n"
            "udpRetrieve() Error opening /proc/net/snmp\n");
}

TEST(SocketLines, SlotsOfAnyWidthAndMalformedLines) {
  const std::string loopback = kernelHex("127.0.0.1"), any = kernelHex("0.0.0.0");
  const struct {
    std::string line;
    bool parsed;
    const char* local;  // bytes of the local address, then the port
    unsigned localPort, remotePort, state;
  } cases[] = {
      {"  sl  local_address rem_address   st tx_queue rx_queue", false, "", 0, 0, 0},
      {"   0: " + loopback + ":0035 " + any + ":0000 0A 00000000:00000000 00:00000000 00000000   0",
       true, "7F 00 00 01", 53, 0, 10},
      {"10000: " + kernelEndpoint("192.168.1.1:00A1") + " " + kernelEndpoint("10.0.0.2:0401") +
           " 01 00000000:00000000",
       true, "C0 A8 01 01", 161, 1025, 1},
      {"123456: " + any + ":FFFF " + any + ":0000 07", true, "00 00 00 00", 65535, 0, 7},
      {"   1: " + loopback + ":0035", false, "", 0, 0, 0},
      {"x: " + loopback + ":0035 " + any + ":0000 0A", false, "", 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    SockLine socket{};
    ASSERT_EQ(sockfileParse(c.line, &socket), c.parsed);
    if (!c.parsed) continue;
    EXPECT_EQ(hexText(socket.local, 4), c.local);
    EXPECT_EQ(socket.localPort, c.localPort);
    EXPECT_EQ(socket.remotePort, c.remotePort);
    EXPECT_EQ(socket.state, c.state);
  }
}

}  // namespace
