// The whole MIB in-process against fixture files: for names around and between every
// instance, GetNext answers the smallest instance after the name, comparing names arc by
// arc as numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "daemon/snmpd.hpp"
#include "mib/mis.hpp"
#include "mib/mit.hpp"
#include "tests/mib_support.hpp"
#include "tests/support.hpp"

namespace {

using Arcs = std::vector<std::uint32_t>;

// A name as arcs; bytes that end inside an arc give that arc's smallest value and `open`.
struct Name {
  Arcs arcs;
  bool open = false;
};

Name decode(const Bytes& bytes) {
  Name name;
  std::uint64_t n = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    n = std::min<std::uint64_t>((n << 7) | (bytes[i] & 0x7F), 0xFFFFFFFF);
    if ((bytes[i] & 0x80) == 0) {
      name.arcs.push_back(static_cast<std::uint32_t>(n));
      n = 0;
    } else if (i + 1 == bytes.size()) {
      name.arcs.push_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(n << 7, 0xFFFFFFFF)));
      name.open = true;
    }
  }
  return name;
}

std::string route(const char* name, const char* destination) {
  return std::string(name) + "\t" + kernelHex(destination) + "\t00000000\t0001\t0\t0\t0\t" +
         kernelHex("255.255.255.0") + "\t0\t0\t0\n";
}
std::string socket(const char* local, const char* remote) {
  return "   0: " + kernelEndpoint(local) + " " + kernelEndpoint(remote) +
         " 01 00000000:00000000 00:00000000\n";
}

class WholeMib : public ::testing::Test {
 protected:
  void SetUp() override {
    root_.write("etc/version", "fixture firmware\n");
    root_.write("proc/net/snmp",
                "Ip: Forwarding DefaultTTL InReceives\nIp: 1 64 3 4 5 6 7 8 9 10 11 12 13 14 15 "
                "16 17 18 19\nIcmp: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 "
                "24 25 26\nTcp: 1 200 120000 -1 5 6 7 8 9 10 11 12 13 14\nUdp: 1 2 3 4\n");
    // 128 ports: ifIndex and port arcs of two bytes from 128 on.
    std::string ports = "128\n";
    for (int port = 1; port <= 128; ++port) ports += std::to_string(port) + " 2 9600 1\n";
    root_.write("proc/driver/kyrel", ports);
    ASSERT_TRUE(cmdInit());
  }
  void write(const std::string& path, const std::string& body) { root_.write(path, body); }

  FixtureRoot root_{"mib-walk"};
};

// The snmp group serves its unassigned objects 7 and 23 to GetNext of their own names
// only, as a walk never reaches them.
bool unassignedSnmpObject(const Arcs& arcs) {
  const Arcs snmp = {43, 6, 1, 2, 1, 11};
  return arcs.size() >= 7 && std::equal(snmp.begin(), snmp.end(), arcs.begin()) &&
         (arcs[6] == 7 || arcs[6] == 23);
}

TEST_F(WholeMib, GetNextIsTheSmallestInstanceAfterAnyName) {
  const std::string allRoutes = route("eth1", "192.168.0.0") + route("eth0", "0.0.0.0") +
                                route("eth0", "10.0.0.127") + route("eth0", "10.0.0.128") +
                                route("eth1", "10.0.0.255") + route("eth0", "192.168.0.0") +
                                route("lo", "127.0.0.0") + route("eth1", "255.255.255.255");
  const std::string allTcp = socket("127.0.0.1:3FFF", "127.0.0.1:4000") +  // ports 16383, 16384
                             socket("127.0.0.1:4000", "127.0.0.1:3FFF") +
                             socket("127.0.0.1:FFFF", "127.0.0.2:0000") +
                             socket("127.0.0.1:3FFF", "127.0.0.1:4000");  // again
  const std::string allUdp = socket("127.0.0.1:007F", "0.0.0.0:0000") +
                             socket("127.0.0.1:0080", "0.0.0.0:0000") +
                             socket("255.255.255.255:FFFF", "0.0.0.0:0000");
  struct Phase {
    std::string routes, tcp, udp;
  } phases[] = {
      {allRoutes, allTcp, allUdp},
      // Rows vanish: names from the first phase now point between rows.
      {route("eth0", "0.0.0.0") + route("eth1", "10.0.0.255"),
       socket("127.0.0.1:4000", "127.0.0.1:3FFF"), socket("127.0.0.1:0080", "0.0.0.0:0000")}};
  std::vector<Bytes> before;
  for (const Phase& phase : phases) {
    write("proc/net/route", "Iface\tDestination\tGateway\n" + phase.routes);
    write("proc/net/tcp", "  sl  local_address rem_address   st\n" + phase.tcp);
    write("proc/net/udp", "  sl  local_address rem_address   st\n" + phase.udp);
    const std::vector<Bytes> found = mibWalk();  // enters every table: rows re-read
    std::vector<Arcs> instances;
    for (const Bytes& oid : found) {
      instances.push_back(decode(oid).arcs);
      ASSERT_TRUE(instances.size() == 1 ||
                  arcsLess(instances[instances.size() - 2], instances.back()))
          << "walk not increasing at " << hexText(oid);
    }
    if (before.empty()) before = found;

    std::vector<Bytes> names = {{}, hexBytes("2B"), hexBytes("2B 06 01 02 01")};
    for (std::uint32_t group = 0; group <= 12; ++group) {
      names.push_back(berArcs({43, 6, 1, 2, 1, group}));
      names.push_back(berArcs({43, 6, 1, 2, 1, group, 0}));
    }
    for (const Bytes& bytes : before) {
      const Arcs arcs = decode(bytes).arcs;
      for (std::size_t cut = 1; cut < bytes.size(); ++cut) {  // mid-arc too
        names.emplace_back(bytes.begin(), bytes.end() - cut);
      }
      for (std::uint32_t extra : {0u, 127u, 128u, 16384u}) {
        Arcs longer = arcs;
        longer.push_back(extra);
        names.push_back(berArcs(longer));
      }
      for (std::uint32_t last :
           {0u, 127u, 128u, 16383u, 16384u, 65535u, arcs.back() + 1, arcs.back() - 1}) {
        Arcs changed = arcs;
        changed.back() = last;
        names.push_back(berArcs(changed));
      }
    }
    for (const Bytes& bytes : names) {
      const Name name = decode(bytes);
      if (bytes.size() > static_cast<std::size_t>(kMixOidBuffer) || unassignedSnmpObject(name.arcs))
        continue;
      auto after =
          std::partition_point(instances.begin(), instances.end(), [&](const Arcs& instance) {
            return name.open ? arcsLess(instance, name.arcs) : !arcsLess(name.arcs, instance);
          });
      const Bytes expected = after == instances.end() ? Bytes{} : berArcs(*after);
      ASSERT_EQ(hexText(mibNext(bytes)), hexText(expected)) << "GetNext of " << hexText(bytes);
    }
  }
}

// A table's rows are ordered by index, stable, the first of equal indexes kept: against the
// standard library's stable sort and unique, over short runs, long ones, sorted and reversed
// input and many ties.
TEST(TableOrder, MatchesAStableSortKeepingTheFirstOfEqualRows) {
  struct Row {
    std::uint32_t key, seen;
  };
  auto compare = [](const void* a, const void* b, const void*) {
    const std::uint32_t x = static_cast<const Row*>(a)->key, y = static_cast<const Row*>(b)->key;
    return x < y ? -1 : x > y ? 1 : 0;
  };
  auto less = [](const Row& a, const Row& b) { return a.key < b.key; };
  std::mt19937 random(20261209);
  for (int round = 0; round < 2000; ++round) {
    const std::size_t count = round < 40 ? round : random() % 600;
    const std::uint32_t keys = 1 + random() % (round % 2 ? 8 : 100000);
    std::vector<Row> rows(count);
    for (std::size_t i = 0; i < count; ++i)
      rows[i] = {static_cast<std::uint32_t>(random() % keys), static_cast<std::uint32_t>(i)};
    if (round % 5 == 1) std::stable_sort(rows.begin(), rows.end(), less);
    if (round % 5 == 2) std::reverse(rows.begin(), rows.end());
    std::vector<Row> expected = rows;
    std::stable_sort(expected.begin(), expected.end(), less);
    expected.erase(std::unique(expected.begin(), expected.end(),
                               [](const Row& a, const Row& b) { return a.key == b.key; }),
                   expected.end());
    rows.resize(mitOrder(rows.data(), rows.size(), sizeof(Row), compare, nullptr));
    ASSERT_EQ(rows.size(), expected.size()) << "round " << round;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      ASSERT_EQ(rows[i].key, expected[i].key) << "round " << round << " row " << i;
      ASSERT_EQ(rows[i].seen, expected[i].seen) << "round " << round << " row " << i;
    }
  }
}

}  // namespace
