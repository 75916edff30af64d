// The IP group and the address translation table over the wire: what the Net-SNMP clients
// read must match the namespace's interfaces and the fixture's kernel files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/netns.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kIp = ".1.3.6.1.2.1.4", kAt = ".1.3.6.1.2.1.3";
const char* const kHex = "-Ox";  // strings in hex: a MAC may happen to be printable

// Today's "Ip:" line; each value is unique, so a field read from the wrong column shows.
const char* const kIpFields[] = {
    "Forwarding",    "DefaultTTL",      "InReceives",   "InHdrErrors", "InAddrErrors",
    "ForwDatagrams", "InUnknownProtos", "InDiscards",   "InDelivers",  "OutRequests",
    "OutDiscards",   "OutNoRoutes",     "ReasmTimeout", "ReasmReqds",  "ReasmOKs",
    "ReasmFails",    "FragOKs",         "FragFails",    "FragCreates", "OutTransmits"};
long fieldValue(const std::string& field) {
  if (field == "Forwarding") return 2;
  if (field == "DefaultTTL") return 63;
  for (int i = 0; i < 20; ++i)
    if (field == kIpFields[i]) return 1001L * (i + 1);
  return -1;
}

// Each scalar and the kernel field it reports.
struct Scalar {
  int object;
  const char* field;
  const char* type;
};
const Scalar kScalars[] = {{1, "Forwarding", "INTEGER"},        {2, "DefaultTTL", "INTEGER"},
                           {3, "InReceives", "Counter32"},      {4, "InHdrErrors", "Counter32"},
                           {5, "InAddrErrors", "Counter32"},    {6, "ForwDatagrams", "Counter32"},
                           {7, "InUnknownProtos", "Counter32"}, {8, "InDiscards", "Counter32"},
                           {9, "InDelivers", "Counter32"},      {10, "OutRequests", "Counter32"},
                           {11, "OutDiscards", "Counter32"},    {12, "OutNoRoutes", "Counter32"},
                           {13, "ReasmTimeout", "INTEGER"},     {14, "ReasmReqds", "Counter32"},
                           {15, "ReasmOKs", "Counter32"},       {16, "ReasmFails", "Counter32"},
                           {17, "FragOKs", "Counter32"},        {18, "FragFails", "Counter32"},
                           {19, "FragCreates", "Counter32"}};

std::string routeLine(const std::string& iface, const std::string& dest, const std::string& gw,
                      int metric, const std::string& mask, int mtu) {
  return iface + "\t" + kernelHex(dest) + "\t" + kernelHex(gw) + "\t" +
         (gw == "0.0.0.0" ? "0001" : "0003") + "\t0\t0\t" + std::to_string(metric) + "\t" +
         kernelHex(mask) + "\t" + std::to_string(mtu) + "\t0\t0\n";
}
const std::string kRouteHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

// Out of order on purpose; lo, eth2 and the alias are not ours; 10.20.0.0 twice.
const std::string kRoutes = kRouteHeader +
                            routeLine("eth1", "172.16.0.0", "10.11.12.254", 7, "255.255.0.0", 0) +
                            routeLine("lo", "127.0.0.0", "0.0.0.0", 0, "255.0.0.0", 0) +
                            routeLine("eth0", "0.0.0.0", "10.11.12.100", 4, "0.0.0.0", 0) +
                            routeLine("eth1", "10.20.0.0", "10.11.12.253", 9, "255.255.0.0", 1400) +
                            routeLine("eth2", "192.168.50.0", "0.0.0.0", 1, "255.255.255.0", 0) +
                            routeLine("eth0:1", "172.20.0.0", "0.0.0.0", 1, "255.255.0.0", 0) +
                            routeLine("eth1", "10.11.12.0", "0.0.0.0", 5, "255.255.255.0", 1500) +
                            routeLine("eth0", "10.20.0.0", "10.11.12.100", 3, "255.255.255.0", 576);

// Expected output lines of a table walk: column by column, rows in the order given.
using Rows = std::vector<std::pair<std::string, std::vector<std::string>>>;
std::vector<std::string> tableLines(const std::string& entry, const Rows& rows) {
  std::vector<std::string> out;
  for (std::size_t column = 0; column < rows.front().second.size(); ++column)
    for (const auto& [index, values] : rows)
      out.push_back(entry + "." + std::to_string(column + 1) + "." + index + " = " +
                    values[column]);
  return out;
}

class IpGroupE2E : public NetnsTest {
 protected:
  void SetUp() override {
    NetnsTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fs::create_directories(root() / "proc/net");
    std::string header = "Ip:", values = "Ip:";
    for (const char* field : kIpFields) {
      header += ' ';
      header += field;
      values += ' ';
      values += std::to_string(fieldValue(field));
    }
    std::ofstream(root() / "proc/net/snmp") << header << "\n"
                                            << values << "\nIcmp: InMsgs InErrors\nIcmp: 41 42\n";
    writeRoutes(kRoutes);
  }
  void writeRoutes(const std::string& text) { std::ofstream(root() / "proc/net/route") << text; }
  void start() {
    ASSERT_TRUE(ns().startAgent({}, {"SNMPD_ROOT=" + root().string()})) << ns().agentErrors();
  }

  // "AA BB CC DD EE FF" as ip link reports the interface's hardware address.
  std::string hardware(const std::string& iface) {
    const std::string text = ns().run("ip -o link show " + iface).output;
    const std::size_t at = text.find("link/ether ");
    EXPECT_NE(at, std::string::npos) << text;
    std::string mac = at == std::string::npos ? "" : text.substr(at + 11, 17);
    std::transform(mac.begin(), mac.end(), mac.begin(), ::toupper);
    std::replace(mac.begin(), mac.end(), ':', ' ');
    return mac;
  }
};

TEST_F(IpGroupE2E, InterfaceTablesShowTheKernelsAddressesOnWalkAndGet) {
  start();
  const std::string mac0 = "Hex-STRING: " + hardware("eth0") + " ";
  const std::string mac1 = "Hex-STRING: " + hardware("eth1") + " ";
  const std::string zeros = "Hex-STRING: 00 00 00 00 00 00 ";
  const std::string mask = "IpAddress: 255.255.255.0", none = "IpAddress: 0.0.0.0";
  // eth2 is absent: address 0.0.0.0, which sorts first where the address is the index.
  const std::vector<std::pair<std::string, std::vector<std::string>>> tables = {
      {kIp + ".20",
       tableLines(
           kIp + ".20.1",
           {{"0.0.0.0", {none, "INTEGER: 3", none, "INTEGER: 1", "INTEGER: 65535"}},
            {"10.11.12.1",
             {"IpAddress: 10.11.12.1", "INTEGER: 1", mask, "INTEGER: 1", "INTEGER: 65535"}},
            {"10.11.12.2",
             {"IpAddress: 10.11.12.2", "INTEGER: 2", mask, "INTEGER: 1", "INTEGER: 65535"}}})},
      {kIp + ".22",
       tableLines(kIp + ".22.1",
                  {{"1.10.11.12.1", {"INTEGER: 1", mac0, "IpAddress: 10.11.12.1", "INTEGER: 4"}},
                   {"2.10.11.12.2", {"INTEGER: 2", mac1, "IpAddress: 10.11.12.2", "INTEGER: 4"}},
                   {"3.0.0.0.0", {"INTEGER: 3", zeros, none, "INTEGER: 4"}}})},
      {kAt,
       tableLines(kAt + ".1.1", {{"1.10.11.12.1", {"INTEGER: 1", mac0, "IpAddress: 10.11.12.1"}},
                                 {"2.10.11.12.2", {"INTEGER: 2", mac1, "IpAddress: 10.11.12.2"}},
                                 {"3.0.0.0.0", {"INTEGER: 3", zeros, none}}})}};
  for (const auto& [subtree, expected] : tables) {
    SCOPED_TRACE(subtree);
    const RunResult walk = ns().client("snmpwalk", subtree, kHex);
    EXPECT_EQ(walk.status, 0) << walk.output;
    EXPECT_EQ(outputLines(walk.output), expected);
    // Get finds each cell by another path than GetNext; a few names per request.
    for (std::size_t i = 0; i < expected.size(); i += 5) {
      const std::vector<std::string> chunk(expected.begin() + i,
                                           expected.begin() + std::min(i + 5, expected.size()));
      std::string names;
      for (const auto& line : chunk) names += line.substr(0, line.find(' ')) + " ";
      const RunResult get = ns().client("snmpget", names, kHex);
      EXPECT_EQ(get.status, 0) << get.output;
      EXPECT_EQ(outputLines(get.output), chunk);
    }
  }
}

TEST_F(IpGroupE2E, WalksOfTheIpAndAtGroupsStrictlyIncreaseAndReportTheKernelsCounters) {
  start();
  // 19 scalars, ipAddrTable 3x5, four routes x13, ipNetToMediaTable 3x4, ipRoutingDiscards.
  for (const auto& [subtree, count] : {std::pair{kIp, 99u}, std::pair{kAt, 9u}}) {
    SCOPED_TRACE(subtree);
    const RunResult walk = ns().client("snmpwalk", subtree, kHex, 60000);
    EXPECT_EQ(walk.status, 0) << walk.output;
    EXPECT_EQ(walk.errors, "");
    const std::vector<std::string> got = outputLines(walk.output);
    EXPECT_EQ(got.size(), count) << walk.output;
    EXPECT_TRUE(inOrderUnder(got, subtree));
    if (subtree != kIp || got.size() < 19) continue;
    for (const Scalar& s : kScalars) {
      EXPECT_EQ(got[s.object - 1], kIp + "." + std::to_string(s.object) + ".0 = " + s.type + ": " +
                                       std::to_string(fieldValue(s.field)));
    }
    EXPECT_EQ(got.back(), kIp + ".23.0 = INTEGER: 0");
  }
}

TEST_F(IpGroupE2E, RouteTableHoldsEth0AndEth1RoutesFirstLineWinning) {
  start();
  struct Route {
    std::string dest, ifIndex, metric, nextHop, age, mask;
  };
  // The connected route's next hop is eth1's own address; 10.20.0.0 is its first line's.
  const Route routes[] = {{"0.0.0.0", "1", "4", "10.11.12.100", "0", "0.0.0.0"},
                          {"10.11.12.0", "2", "5", "10.11.12.2", "1500", "255.255.255.0"},
                          {"10.20.0.0", "2", "9", "10.11.12.253", "1400", "255.255.0.0"},
                          {"172.16.0.0", "2", "7", "10.11.12.254", "0", "255.255.0.0"}};
  const std::string entry = kIp + ".21.1";
  // The very first request steps from a row index: rows never read are read for it.
  const RunResult first = ns().client("snmpgetnext", entry + ".1.10.11.12.0", kHex);
  EXPECT_EQ(outputLines(first.output),
            std::vector<std::string>{entry + ".1.10.20.0.0 = IpAddress: 10.20.0.0"});
  std::vector<std::string> destinations;
  for (const Route& r : routes) {
    SCOPED_TRACE(r.dest);
    destinations.push_back(entry + ".1." + r.dest + " = IpAddress: " + r.dest);
    const std::vector<std::string> values = {"IpAddress: " + r.dest,
                                             "INTEGER: " + r.ifIndex,
                                             "INTEGER: " + r.metric,
                                             "INTEGER: -1",
                                             "INTEGER: -1",
                                             "INTEGER: -1",
                                             "IpAddress: " + r.nextHop,
                                             "INTEGER: 3",
                                             "INTEGER: 2",
                                             "INTEGER: " + r.age,
                                             "IpAddress: " + r.mask,
                                             "INTEGER: -1",
                                             "OID: .0.0"};
    std::string names;
    std::vector<std::string> expected;
    for (std::size_t c = 0; c < values.size(); ++c) {
      const std::string name = entry + "." + std::to_string(c + 1) + "." + r.dest;
      names += name + " ";
      expected.push_back(name + " = " + values[c]);
    }
    const RunResult get = ns().client("snmpget", names, kHex);
    EXPECT_EQ(get.status, 0) << get.output;
    EXPECT_EQ(outputLines(get.output), expected);
  }
  const RunResult walk = ns().client("snmpwalk", entry + ".1", kHex);
  EXPECT_EQ(walk.status, 0) << walk.output;
  EXPECT_EQ(outputLines(walk.output), destinations);
  for (const char* absent : {"127.0.0.0", "192.168.50.0", "172.20.0.0"}) {
    const RunResult get = ns().client("snmpget", entry + ".2." + absent, kHex);
    EXPECT_NE(get.status, 0) << absent;
    EXPECT_NE(get.output.find("noSuchName"), std::string::npos) << get.output;
  }
}

TEST_F(IpGroupE2E, AddressTableRepliesFollowALiveAddressChange) {
  start();
  // Changed under the running agent: interface data is queried on each request.
  const RunResult changed =
      ns().run("ip addr flush dev eth1 && ip addr add 192.168.1.1/24 dev eth1");
  ASSERT_EQ(changed.status, 0) << changed.output;
  const struct {
    std::uint8_t pdu, requestId;
    const char *name, *reply;
  } cases[] = {
      // Get ipAdEntIfIndex.192.168.1.1: eth1 is interface 2.
      {0xA0, 0x78, "2B 06 01 02 01 04 14 01 02 81 40 81 28 01 01",
       "30 31 02 01 00 04 06 6D 69 72 6C 65 6E A2 24 02 04 12 34 56 78 02 01 00 02 01 00"
       " 30 16 30 14 06 0F 2B 06 01 02 01 04 14 01 02 81 40 81 28 01 01 02 01 02"},
      // GetNext ipAdEntAddr.10.11.12.1 -> ipAdEntAddr.192.168.1.1.
      {0xA1, 0x79, "2B 06 01 02 01 04 14 01 01 0A 0B 0C 01",
       "30 34 02 01 00 04 06 6D 69 72 6C 65 6E A2 27 02 04 12 34 56 79 02 01 00 02 01 00"
       " 30 19 30 17 06 0F 2B 06 01 02 01 04 14 01 01 81 40 81 28 01 01 40 04 C0 A8 01 01"},
      // GetNext from the column's last row enters the next column: ipAdEntIfIndex.0.0.0.0.
      {0xA1, 0x7A, "2B 06 01 02 01 04 14 01 01 81 40 81 28 01 01",
       "30 2F 02 01 00 04 06 6D 69 72 6C 65 6E A2 22 02 04 12 34 56 7A 02 01 00 02 01 00"
       " 30 14 30 12 06 0D 2B 06 01 02 01 04 14 01 02 00 00 00 00 02 01 03"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Bytes> reply =
        ns().request(message("mirlen", c.pdu, tlv(0x02, {0x12, 0x34, 0x56, c.requestId}),
                             {varBind(hexBytes(c.name), nullValue())}));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(hexText(*reply), hexText(hexBytes(c.reply)));
  }
}

TEST_F(IpGroupE2E, WalkOfTenThousandShuffledRoutesListsEachDestinationOnceInOrder) {
  std::vector<std::string> routes;
  std::set<std::vector<unsigned long>, ArcsLess> expected;
  std::mt19937 random(20240611);
  // First and third components both sides of 128, so one- and two-byte arcs mix.
  for (int i = 0; i < 10000; ++i) {
    const int a = i % 2 ? 10 : 200, b = 100 + (i / 2) / 50, c = ((i / 2) % 50) * 5;
    const std::string dest =
        std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + ".0";
    routes.push_back(
        routeLine(random() % 2 ? "eth0" : "eth1", dest, "10.11.12.254", 1, "255.255.255.0", 0));
    expected.insert({static_cast<unsigned long>(a), static_cast<unsigned long>(b),
                     static_cast<unsigned long>(c), 0});
    if (i % 500 == 0)  // a second route to the destination
      routes.push_back(routeLine("eth0", dest, "10.11.12.100", 2, "255.255.0.0", 0));
  }
  for (int i = 0; i < 30; ++i) {  // not ours, and distinct from every destination above
    const char* iface = i % 3 == 0 ? "lo" : i % 3 == 1 ? "eth2" : "eth0:1";
    routes.push_back(
        routeLine(iface, "11.1." + std::to_string(i) + ".0", "0.0.0.0", 0, "255.255.255.0", 0));
  }
  std::shuffle(routes.begin(), routes.end(), random);
  std::string text = kRouteHeader;
  for (const auto& line : routes) text += line;
  writeRoutes(text);
  start();

  const std::string column = kIp + ".21.1.1";
  const RunResult walk = ns().client("snmpwalk", column, "-t 5 -r 2", 300000);
  EXPECT_EQ(walk.status, 0) << walk.errors;
  EXPECT_EQ(walk.errors, "");
  std::vector<std::string> want;
  for (const auto& d : expected) {
    const std::string dotted = std::to_string(d[0]) + "." + std::to_string(d[1]) + "." +
                               std::to_string(d[2]) + "." + std::to_string(d[3]);
    want.push_back(column + "." + dotted + " = IpAddress: " + dotted);
  }
  const std::vector<std::string> got = outputLines(walk.output);
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want)
      << "first difference at line "
      << (std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin());
}

}  // namespace
