// The IP group and atTable in-process: counter lines, the route file, Get rules, and the
// ordering of GetNext over every table.
#include "groups/ip_vars.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/sysfile.hpp"
#include "groups/at_vars.hpp"
#include "mib/idx.hpp"
#include "mib/mis.hpp"
#include "tests/mib_support.hpp"
#include "tests/support.hpp"

namespace fs = std::filesystem;

namespace {

const Bytes kIp = hexBytes("2B 06 01 02 01 04");

// "Ip: a b c" header and values lines: every field a distinct number.
const char* kIpHeaderToday =
    "Ip: Forwarding DefaultTTL InReceives InHdrErrors InAddrErrors ForwDatagrams "
    "InUnknownProtos InDiscards InDelivers OutRequests OutDiscards OutNoRoutes ReasmTimeout "
    "ReasmReqds ReasmOKs ReasmFails FragOKs FragFails FragCreates OutTransmits\n";
const char* kIpValuesToday =
    "Ip: 1 64 103 104 105 106 107 108 109 110 111 112 30 114 115 116 117 118 119 120\n";

class IpGroup : public ::testing::Test {
 protected:
  void SetUp() override {
    misInit();
    ipInit();
    atInit();
  }
  void write(const std::string& path, const std::string& body) { root_.write(path, body); }

  FixtureRoot root_{"ip"};
};

// One route line in the kernel's layout, the dotted addresses as their words in memory.
std::string route(const char* name, const char* destination, const char* gateway, const char* mask,
                  int metric = 0, int mtu = 0) {
  return std::string(name) + "\t" + kernelHex(destination) + "\t" + kernelHex(gateway) +
         "\t0003\t0\t0\t" + std::to_string(metric) + "\t" + kernelHex(mask) + "\t" +
         std::to_string(mtu) + "\t0\t0                                       \n";
}
const std::string kRouteHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST_F(IpGroup, ScalarsAreReadByKernelFieldName) {
  struct Layout {
    const char* name;
    std::string file;
    std::vector<int> expected;  // ipForwarding .. ipFragCreates; -1: no value
  };
  const std::vector<int> today = {1,   64,  103, 104, 105, 106, 107, 108, 109, 110,
                                  111, 112, 30,  114, 115, 116, 117, 118, 119};
  const Layout layouts[] = {
      {"today's layout", std::string("Icmp: InMsgs\nIcmp: 9\n") + kIpHeaderToday + kIpValuesToday,
       today},
      // Fields in another order and an unknown one first: each still found by name.
      {"reordered fields",
       "Ip: NewField FragCreates Forwarding DefaultTTL InReceives InHdrErrors InAddrErrors "
       "ForwDatagrams InUnknownProtos InDiscards InDelivers OutRequests OutDiscards OutNoRoutes "
       "ReasmTimeout ReasmReqds ReasmOKs ReasmFails FragOKs FragFails\n"
       "Ip: 999 119 1 64 103 104 105 106 107 108 109 110 111 112 30 114 115 116 117 118\n",
       today},
      // No header at all: by position.
      {"old layout without header",
       "Ip: 2 255 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19\n",
       {2, 255, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
      // A header without FragCreates: that one by position, the rest by name.
      {"header lacks a field",
       "Ip: DefaultTTL Forwarding InReceives InHdrErrors InAddrErrors ForwDatagrams "
       "InUnknownProtos InDiscards InDelivers OutRequests OutDiscards OutNoRoutes ReasmTimeout "
       "ReasmReqds ReasmOKs ReasmFails FragOKs FragFails\n"
       "Ip: 64 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 77\n",
       {2, 64, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 77}},
      {"values line too short",
       "Ip: 1 64 3\n",
       {1, 64, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
      {"header only", kIpHeaderToday, std::vector<int>(19, -1)},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    write("proc/net/snmp", layout.file);
    for (int n = 1; n <= 19; ++n) {
      SCOPED_TRACE(n);
      Asn value = mibGet(kIp + Bytes{static_cast<std::uint8_t>(n), 0});
      const int want = layout.expected[n - 1];
      if (want < 0) {
        EXPECT_FALSE(value);
        continue;
      }
      // ipForwarding, ipDefaultTTL and ipReasmTimeout are INTEGERs, the rest Counters.
      const std::uint8_t tag = (n == 1 || n == 2 || n == 13) ? 0x02 : 0x41;
      EXPECT_EQ(hexText(encoded(value)), hexText(tlv(tag, unsignedContents(want))));
    }
  }
}

TEST_F(IpGroup, CountersWrapModulo32BitsAndFileAbsenceIsReported) {
  write("proc/net/snmp", "Ip: Forwarding InReceives\nIp: 1 4294967301\n");
  EXPECT_EQ(hexText(encoded(mibGet(kIp + hexBytes("03 00")))), "41 01 05");

  fs::remove(root_.path() / "proc/net/snmp");
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(mibGet(kIp + hexBytes("03 00")));
  EXPECT_FALSE(mibGet(kIp + hexBytes("17 00")));  // ipRoutingDiscards too
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "ipRetrieve() Error opening /proc/net/snmp\n"
            "ipRetrieve() Error opening /proc/net/snmp\n");
}

TEST_F(IpGroup, RouteFileRowsAndGetRules) {
  write("proc/net/snmp", std::string(kIpHeaderToday) + kIpValuesToday);
  write("proc/net/route",
        kRouteHeader + route("eth0", "0.0.0.0", "10.10.11.254", "0.0.0.0", 5, 1500) +  // default
            route("lo", "127.0.0.0", "0.0.0.0", "255.0.0.0") +
            route("eth2", "192.168.0.0", "0.0.0.0", "255.255.255.0") +
            route("eth0:1", "172.16.0.0", "0.0.0.0", "255.255.0.0") +
            route("eth1", "192.168.0.0", "10.10.11.1", "255.255.255.0", 7) +  // 192.168.0.0 on eth1
            route("eth0", "192.168.0.0", "10.10.11.2", "255.255.255.0",
                  9) +                                                    // the same again: hidden
            route("eth1", "172.16.0.0", "10.11.12.254", "255.255.0.0"));  // 172.16.0.0 via gateway
  struct Case {
    const char* oid;    // after the group prefix
    const char* value;  // encoded; "" for no such instance
  } cases[] = {
      {"15 01 01 00 00 00 00", "40 04 00 00 00 00"},  // the default route's ipRouteDest
      {"15 01 07 00 00 00 00", "40 04 0A 0A 0B FE"},  // its next hop, the gateway
      {"15 01 03 00 00 00 00", "02 01 05"},           // metric
      {"15 01 0A 00 00 00 00", "02 02 05 DC"},        // ipRouteAge: the MTU field
      {"15 01 02 81 40 81 28 00 00", "02 01 02"},     // first of two 192.168.0.0: eth1
      {"15 01 03 81 40 81 28 00 00", "02 01 07"},
      {"15 01 0B 81 2C 10 00 00", "40 04 FF FF 00 00"},        // 172.16.0.0 mask
      {"15 01 04 81 2C 10 00 00", "02 01 FF"},                 // ipRouteMetric2 = -1
      {"15 01 0C 81 2C 10 00 00", "02 01 FF"},                 // ipRouteMetric5
      {"15 01 08 81 2C 10 00 00", "02 01 03"},                 // ipRouteType
      {"15 01 09 81 2C 10 00 00", "02 01 02"},                 // ipRouteProto
      {"15 01 0D 81 2C 10 00 00", "06 01 00"},                 // ipRouteInfo 0.0
      {"15 01 01 81 2C 10 00 00 05 06", "40 04 AC 10 00 00"},  // arcs after the index ignored
      {"15 01 01 7F 00 00 00", ""},                            // lo is not in the table
      {"15 01 01 81 2C 10 00", ""},                            // index cut short
      {"15 01 01 81 2C 10 00 81", ""},                         // ends inside an arc
      {"15 01 0E 00 00 00 00", ""},                            // no column 14
      {"15 02 01 00 00 00 00", ""},                            // entry is 1
      {"01", ""},                                              // ipForwarding without .0
      {"01 00 00", ""},
      {"17 00", "02 01 00"},  // ipRoutingDiscards
      {"18 00", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.oid);
    EXPECT_EQ(hexText(encoded(mibGet(kIp + hexBytes(c.oid)))), hexText(hexBytes(c.value)));
  }
  // In index order: 0.0.0.0, 172.16.0.0, 192.168.0.0, each once.
  std::vector<Bytes> dests;
  for (const Bytes& oid : mibWalk(kIp + hexBytes("15 01 01"))) {
    if (oid.size() < 9 || oid[6] != 0x15 || oid[8] != 1) break;
    dests.emplace_back(oid.begin() + 9, oid.end());
  }
  EXPECT_EQ(dests, (std::vector<Bytes>{hexBytes("00 00 00 00"), hexBytes("81 2C 10 00 00"),
                                       hexBytes("81 40 81 28 00 00")}));
}

// A walk that steps out of the route table lets a big table's rows go, so the next step into
// it reads the file again; a small table's next step uses the rows as last read.
TEST_F(IpGroup, BigTableIsReadAgainAfterAWalkStepsOutOfIt) {
  const Bytes past = kIp + hexBytes("15 01 0D 81 7F 81 7F 81 7F 81 7F");  // after the last cell
  const Bytes fromStart = kIp + hexBytes("15 01 01 00 00 00 00");
  for (const int routes : {2, 3000}) {  // 3,000 rows of 24 bytes: over the 64 KiB kept
    SCOPED_TRACE(routes);
    std::string table = kRouteHeader;
    char destination[24];
    for (int i = 1; i <= routes; ++i) {
      std::snprintf(destination, sizeof destination, "10.%d.%d.0", i / 256, i % 256);
      table += route("eth0", destination, "0.0.0.0", "255.255.255.0");
    }
    write("proc/net/route", table);
    ASSERT_FALSE(mibNext(kIp + hexBytes("15")).empty());  // enters the table and reads it
    ASSERT_FALSE(mibNext(past).empty());                  // steps out of it
    write("proc/net/route", kRouteHeader + route("eth1", "172.16.0.0", "0.0.0.0", "255.255.0.0"));
    EXPECT_EQ(hexText(mibNext(fromStart)),
              hexText(kIp + hexBytes(routes > 2 ? "15 01 01 81 2C 10 00 00"   // read again
                                                : "15 01 01 0A 00 01 00")));  // as last read
  }
}

TEST(IndexCodec, GoldenComponentsAndPortsBothWays) {
  const struct {
    std::uint8_t address[4];
    const char* bytes;
  } addresses[] = {
      {{0, 0, 0, 0}, "00 00 00 00"},
      {{127, 128, 255, 1}, "7F 81 00 81 7F 01"},
      {{192, 168, 1, 1}, "81 40 81 28 01 01"},
      {{255, 255, 255, 255}, "81 7F 81 7F 81 7F 81 7F"},
  };
  for (const auto& c : addresses) {
    std::uint8_t out[8];
    int length = 3;
    const int written = setipaddrname(c.address, out, &length);
    EXPECT_EQ(hexText(out, written), c.bytes);
    EXPECT_EQ(length, 3 + written);
    const Bytes in = hexBytes(c.bytes);
    std::uint8_t back[4];
    EXPECT_EQ(getipaddr(back, in.data(), static_cast<int>(in.size())), written);
    EXPECT_EQ(Bytes(back, back + 4), Bytes(c.address, c.address + 4));
    EXPECT_EQ(getipaddr(back, in.data(), static_cast<int>(in.size()) - 1), -1);  // cut short
  }
  const struct {
    std::uint16_t port;
    const char* bytes;
  } ports[] = {{0, "00"},        {127, "7F"},         {128, "81 00"},
               {16383, "FF 7F"}, {16384, "81 80 00"}, {65535, "83 FF 7F"}};
  std::uint32_t previous = 0;
  for (const auto& c : ports) {
    std::uint8_t out[3];
    int length = 0;
    EXPECT_EQ(hexText(out, setportname(c.port, out, &length)), c.bytes);
    const Bytes in = hexBytes(c.bytes);
    std::uint16_t back = 1;
    EXPECT_EQ(getport(&back, in.data(), static_cast<int>(in.size())), length);
    EXPECT_EQ(back, c.port);
    // Decoded names order as numbers, whatever their bytes do.
    IdxName name;
    idxDecode(in.data(), static_cast<int>(in.size()), &name);
    ASSERT_EQ(name.count, 1);
    const std::uint32_t arc = c.port;
    EXPECT_EQ(idxCompare(name.arc, 1, &arc, 1), 0);
    if (c.port != 0) {
      EXPECT_LT(idxCompare(&previous, 1, name.arc, 1), 0);
    }
    previous = name.arc[0];
  }
  std::uint8_t address[4];
  const Bytes large = hexBytes("82 00 01 02 03");  // 256 is no address component
  EXPECT_EQ(getipaddr(address, large.data(), static_cast<int>(large.size())), -1);
  const Bytes over = hexBytes("84 80 80 80 00");  // above 65535
  std::uint16_t port;
  EXPECT_EQ(getport(&port, over.data(), static_cast<int>(over.size())), -1);
}

TEST(SysLines, LinesOfAnyLengthAcrossReads) {
  const fs::path file = fs::temp_directory_path() / ("syslines-" + std::to_string(getpid()));
  std::string body;
  std::vector<std::string> expected;
  for (int i = 0; i < 400; ++i) {  // well past one buffer
    std::string line(static_cast<std::size_t>(i * 7 % 130), static_cast<char>('a' + i % 26));
    body += line + "\n";
    expected.push_back(line);
  }
  body += std::string(5000, 'x') + "\n";  // overlong: its head only
  expected.push_back(std::string(SysLines::kLineMax, 'x'));
  body += "last line without end";
  expected.push_back("last line without end");
  std::ofstream(file, std::ios::binary) << body;
  unsetenv("SNMPD_ROOT");
  sysfileInit();
  SysLines lines(file.c_str());
  ASSERT_TRUE(lines.valid());
  std::vector<std::string> read;
  for (std::string_view line; lines.next(&line);) read.emplace_back(line);
  EXPECT_EQ(read, expected);
  fs::remove(file);
  EXPECT_FALSE(SysLines("/nonexistent/file").valid());
}

// A fixture is read as it stands at every request (rewritten or replaced), once within one
// request; the kernel's own file through a descriptor that a new root lets go of.
TEST(SysSnapshot, FreshPerRequestOncePerRequestAndPerRoot) {
  SysSnapshot snapshot("/proc/net/snmp");
  std::string_view text;
  unsetenv("SNMPD_ROOT");
  sysfileInit();
  ASSERT_TRUE(snapshot.read(&text));
  EXPECT_EQ(text.substr(0, 4), "Ip: ");
  {
    FixtureRoot root("snapshot");
    EXPECT_FALSE(snapshot.read(&text));
    root.write("proc/net/snmp", "A\n");
    ASSERT_TRUE(snapshot.read(&text));
    EXPECT_EQ(text, "A\n");
    root.write("proc/net/snmp", "BB\n");
    ASSERT_TRUE(snapshot.read(&text));
    EXPECT_EQ(text, "BB\n");
    {
      const SysRequest request;
      ASSERT_TRUE(snapshot.read(&text));
      root.write("proc/net/snmp", "C\n");
      ASSERT_TRUE(snapshot.read(&text));
      EXPECT_EQ(text, "BB\n");
    }
    const fs::path file = root.path() / "proc/net/snmp";
    std::ofstream(file.string() + ".new") << "D\n";
    fs::rename(file.string() + ".new", file);
    const SysRequest request;
    ASSERT_TRUE(snapshot.read(&text));
    EXPECT_EQ(text, "D\n");
  }
  ASSERT_TRUE(snapshot.read(&text));
  EXPECT_EQ(text.substr(0, 4), "Ip: ");
}

}  // namespace
