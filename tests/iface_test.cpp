// The interfaces group and the serial-port MIB in-process, over fixture files: which
// /proc/net/dev line feeds an interface, the serial rows and tables from the driver's
// status file, and what a port count registers.
#include "groups/iface_vars.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/smp.hpp"
#include "groups/kyrel_vars.hpp"
#include "tests/mib_support.hpp"

namespace {

const Bytes kIfEntry = hexBytes("2B 06 01 02 01 02 02 01");
const Bytes kIfNumber = hexBytes("2B 06 01 02 01 02 01 00");
const Bytes kRs232 = hexBytes("2B 06 01 02 01 0A 21");
const Bytes kSnmpInPkts = hexBytes("2B 06 01 02 01 0B 01 00");

// The serial-port example: two ports, each line's numbers in the driver's order.
const std::string kTwoPorts = "2\n1 2 9600 1 2 8 1 1 2 3 2 2 3\n0 0 19200 0 3 7 2 3 3 3 3 3 3\n";

class InterfacesGroup : public ::testing::Test {
 protected:
  // Registers the groups over a status file (none when nullopt); snmp follows them.
  void start(const std::optional<std::string>& status) {
    if (status) root_.write("proc/driver/kyrel", *status);
    misInit();
    ifaceInit();
    kyrelInit();
    smpInit();
  }
  FixtureRoot root_{"iface"};
};

TEST_F(InterfacesGroup, CountersComeFromTheLineNamingExactlyTheInterface) {
  const std::string header =
      "Inter-|   Receive                                                |  Transmit\n"
      " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs "
      "drop fifo colls carrier compressed\n";
  const std::string eth1 = "1000 10 1 2 0 0 0 0 2000 20 3 4 0 0 0 0\n";
  const std::string nines = ": 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9\n";
  const std::string decoys =
      " eth10" + nines + " veth1" + nines + "eth1.100" + nines + "  lo" + nines;
  // ifInOctets, ifInUcastPkts, ifInDiscards, ifInErrors, then the same four outbound.
  const std::vector<unsigned> example = {1000, 10, 2, 1, 2000, 20, 4, 3}, zeros(8, 0);
  const struct {
    const char* name;
    std::optional<std::string> dev;
    std::vector<unsigned> eth1;
  } cases[] = {
      {"the kernel's layout", header + "  eth1: " + eth1, example},
      {"decoys first", header + decoys + "  eth1: " + eth1, example},
      {"glued to the colon", header + "eth1:" + eth1, example},
      {"wider than 32 bits",
       "eth1: 4294967301 10 1 2 0 0 0 0 18446744073709551615 20 3 4 0 0 0 0\n",
       {5, 10, 2, 1, 4294967295u, 20, 4, 3}},
      {"a short line, then a whole one", "eth1: 7 7\neth1: " + eth1, example},
      {"only decoys", header + decoys, zeros},
      {"no file", std::nullopt, zeros},
  };
  const std::uint8_t columns[] = {10, 11, 13, 14, 16, 17, 19, 20};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(root_.path() / "proc/net/dev");
    if (c.dev) root_.write("proc/net/dev", *c.dev);
    start(std::nullopt);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(hexText(encoded(mibGet(kIfEntry + Bytes{columns[i], 2}))),
                hexText(tlv(0x41, unsignedContents(c.eth1[i]))))
          << "column " << int{columns[i]};
    }
  }
}

// Get and GetNext against golden value bytes; "" for no such instance.
TEST_F(InterfacesGroup, SerialRowsAndPortTablesFromTheStatusFile) {
  const struct {
    std::string status;
    std::vector<std::pair<Bytes, const char*>> gets;
    std::vector<std::pair<Bytes, Bytes>> nexts;
  } files[] = {
      {"4\n100 200 9600 1\n5 6 19200 0\n7 8 -2 1\n",
       {{kIfNumber, "02 01 07"},
        {kIfEntry + hexBytes("01 07"), "02 01 07"},
        {kIfEntry + hexBytes("02 01"), "04 04 65 74 68 30"},  // eth0
        {kIfEntry + hexBytes("02 04"), "04 0D 53 65 72 69 61 6C 20 70 6F 72 74 20 30"},
        {kIfEntry + hexBytes("03 01"), "02 01 06"},
        {kIfEntry + hexBytes("03 04"), "02 01 01"},
        {kIfEntry + hexBytes("04 04"), "02 01 00"},
        {kIfEntry + hexBytes("05 02"), "42 04 05 F5 E1 00"},
        {kIfEntry + hexBytes("05 04"), "42 02 25 80"},
        {kIfEntry + hexBytes("05 06"), "42 05 00 FF FF FF FE"},  // -2 as its 32-bit pattern
        {kIfEntry + hexBytes("06 04"), "04 01 00"},
        {kIfEntry + hexBytes("07 04"), "02 01 01"},  // status 1: up and running
        {kIfEntry + hexBytes("08 04"), "02 01 01"},
        {kIfEntry + hexBytes("07 05"), "02 01 02"},
        {kIfEntry + hexBytes("08 05"), "02 01 02"},
        {kIfEntry + hexBytes("08 07"), "02 01 02"},  // no line: zeros
        {kIfEntry + hexBytes("09 01"), "43 01 00"},
        {kIfEntry + hexBytes("0A 04"), "41 01 64"},
        {kIfEntry + hexBytes("0B 04"), "41 01 00"},
        {kIfEntry + hexBytes("10 04"), "41 02 00 C8"},
        {kIfEntry + hexBytes("15 04"), "42 01 00"},
        {kIfEntry + hexBytes("16 01"), "06 01 00"},
        {kIfEntry + hexBytes("17 01"), ""},
        {kIfEntry + hexBytes("00 01"), ""},
        {kIfEntry + hexBytes("01 00"), ""},
        {kIfEntry + hexBytes("01 08"), ""},
        {kIfEntry + hexBytes("02 01 00"), ""},
        {kIfEntry, ""}},
       {{kIfEntry + hexBytes("01 07"), kIfEntry + hexBytes("02 01")},
        {kIfEntry, kIfEntry + hexBytes("01 01")},
        {kIfNumber, kIfEntry + hexBytes("01 01")},
        {kIfEntry + hexBytes("16 07"), kRs232 + hexBytes("01 00")}}},
      {kTwoPorts,
       {{kRs232 + hexBytes("01 00"), "02 01 02"},
        {kRs232 + hexBytes("02 01 05 02"), "02 02 4B 00"},  // rs232PortInSpeed.2
        {kRs232 + hexBytes("02 01 02 01"), "02 01 02"},     // rs232PortType.1
        {kRs232 + hexBytes("02 01 03 02"), "02 01 03"},
        {kRs232 + hexBytes("02 01 04 01"), "02 01 02"},
        {kRs232 + hexBytes("03 01 02 02"), "02 01 07"},  // rs232AsyncPortBits.2
        {kRs232 + hexBytes("03 01 04 01"), "02 01 01"},
        {kRs232 + hexBytes("05 01 03 01 06"), "02 01 02"},  // dcd of port 1
        {kRs232 + hexBytes("05 01 02 01 06"), "02 01 06"},
        {kRs232 + hexBytes("06 01 03 02 04"), "02 01 03"},  // dtr of port 2
        {kRs232 + hexBytes("06 01 01 02 01"), "02 01 02"},
        {kRs232 + hexBytes("05 01 03 01 04"), ""},  // dtr is no input signal
        {kRs232 + hexBytes("05 01 03 00 02"), ""},
        {kRs232 + hexBytes("05 01 03 03 02"), ""},
        {kRs232 + hexBytes("05 01 03 01"), ""},
        {kRs232 + hexBytes("02 01 07 01"), ""},
        {kRs232 + hexBytes("02 01 01 01 00"), ""}},
       {{kRs232 + hexBytes("02"), kRs232 + hexBytes("02 01 01 01")},
        {kRs232 + hexBytes("05 01"), kRs232 + hexBytes("05 01 01 01 02")},
        {kRs232 + hexBytes("05 01 03 01 06"), kRs232 + hexBytes("05 01 03 02 02")},
        {kRs232 + hexBytes("02 01 06 02"), kRs232 + hexBytes("03 01 01 01")},
        {kRs232 + hexBytes("06 01 03 02 04"), kSnmpInPkts}}},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.status);
    start(file.status);
    for (const auto& [name, value] : file.gets) {
      EXPECT_EQ(hexText(encoded(mibGet(name))), hexText(hexBytes(value))) << hexText(name);
    }
    for (const auto& [name, instance] : file.nexts) {
      EXPECT_EQ(hexText(mibNext(name)), hexText(instance)) << hexText(name);
    }
  }
}

TEST_F(InterfacesGroup, PortCountFixesIfNumberAndWhetherTheSerialMibExists) {
  const struct {
    std::optional<std::string> status;
    unsigned ports;
  } cases[] = {{std::nullopt, 0}, {"0\n", 0},           {"", 0},        {"-3\n", 0},
               {"two\n", 0},      {"4 ports\n", 4},     {"255\n", 255}, {"256\n", 256},
               {"257\n", 256},    {"4294967301\n", 256}};
  auto ifDescr = [](unsigned ix) {  // ifIndex as one sub-identifier, two bytes from 128
    return kIfEntry + (ix < 128 ? Bytes{2, static_cast<std::uint8_t>(ix)}
                                : Bytes{2, static_cast<std::uint8_t>(0x80 | ix >> 7),
                                        static_cast<std::uint8_t>(ix & 0x7F)});
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status.value_or("no file"));
    std::filesystem::remove(root_.path() / "proc/driver/kyrel");
    start(c.status);
    EXPECT_EQ(hexText(encoded(mibGet(kIfNumber))),
              hexText(tlv(0x02, unsignedContents(3 + c.ports))));
    EXPECT_EQ(bool(mibGet(ifDescr(4))), c.ports > 0);
    EXPECT_TRUE(mibGet(ifDescr(3 + c.ports)));
    EXPECT_FALSE(mibGet(ifDescr(4 + c.ports)));
    EXPECT_EQ(hexText(mibNext(kRs232)),
              hexText(c.ports > 0 ? kRs232 + hexBytes("01 00") : kSnmpInPkts));
  }
}

}  // namespace
