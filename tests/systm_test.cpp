#include "groups/systm.hpp"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "common/sysfile.hpp"
#include "mib/mis.hpp"
#include "tests/support.hpp"

namespace fs = std::filesystem;

namespace {

const Bytes kSysPrefix = hexBytes("2B 06 01 02 01 01");

Bytes instance(int variable) {
  Bytes oid = kSysPrefix;
  oid.push_back(static_cast<std::uint8_t>(variable));
  oid.push_back(0);
  return oid;
}

Bytes contents(const Asn& value) {
  const std::uint8_t* p = asnValue(value);
  return Bytes(p, p + asnLength(value));
}

std::string text(const Asn& value) {
  Bytes b = contents(value);
  return std::string(b.begin(), b.end());
}

// A fixture tree under SNMPD_ROOT, and a fresh MIB index with the group registered.
class SystemGroup : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("systm-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "etc");
    fs::create_directories(root_ / "proc/bus/pci");
  }
  void TearDown() override {
    unsetenv("SNMPD_ROOT");
    sysfileInit();
    fs::remove_all(root_);
  }

  void write(const std::string& path, const std::string& body) {
    std::ofstream(root_ / path, std::ios::binary) << body;
  }

  // Runs the group's start-up against the fixture tree; returns its stdout.
  std::string start() {
    setenv("SNMPD_ROOT", root_.c_str(), 1);
    sysfileInit();
    misInit();
    ::testing::internal::CaptureStdout();
    systmInit();
    return ::testing::internal::GetCapturedStdout();
  }

  Asn get(int variable) {
    Bytes oid = instance(variable);
    return mixGet(misCommunityToMib(nullptr), oid.data(), static_cast<int>(oid.size()));
  }

  int set(int variable, const Asn& value) {
    Bytes oid = instance(variable);
    return mixSet(misCommunityToMib(nullptr), oid.data(), static_cast<int>(oid.size()), value);
  }

  fs::path root_;
};

Asn octets(const std::string& s) {
  return asnOctetString(kAsnUniversal, 4, reinterpret_cast<const std::uint8_t*>(s.data()),
                        static_cast<int>(s.size()));
}

TEST_F(SystemGroup, DescriptionIsTheFirstLineOfTheFirstVersionFileThatOpens) {
  const struct {
    const char* name;
    std::optional<std::string> firmware, kernel;  // etc/version, proc/version
    const char* output;                           // of start-up
    std::string description;
  } cases[] = {
      {"firmware file first", "Velmora firmware 4.2.1\nsecond line\n", "Linux version 6.1.0\n", "",
       "Velmora firmware 4.2.1"},
      {"kernel's", std::nullopt, "Linux version 6.1.0 (gcc 12)\n", "",
       "Linux version 6.1.0 (gcc 12)"},
      {"neither", std::nullopt, std::nullopt, "snmpd: cannot open /etc/version or /proc/version.\n",
       "Unknown"},
      {"long first line", std::string(300, 'v') + "\n", std::nullopt, "", std::string(127, 'v')},
      {"empty file", "", std::nullopt, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(root_ / "etc/version");
    fs::remove(root_ / "proc/version");
    if (c.firmware) write("etc/version", *c.firmware);
    if (c.kernel) write("proc/version", *c.kernel);
    EXPECT_EQ(start(), c.output);
    EXPECT_EQ(text(get(1)), c.description);
  }
}

struct CensusCase {
  const char* name;
  std::optional<std::string> census;  // none: no file
  const char* objectId;               // BER contents of sysObjectID
};

const std::string kA = "0010\te4a17c21\t0\n";
const std::string kB = "0018\te4a29d03\t0\n";
const std::string kC = "0020\te4a35b10\t0\n";

TEST_F(SystemGroup, ModelCodeFromPciCensus) {
  const CensusCase cases[] = {
      {"A twice", kA + kA + kB, "2B 06 01 04 01 82 F5 45 0C A8 04"},         // .5124
      {"A absent", kB + kC, "2B 06 01 04 01 82 F5 45 0C A8 01"},             // .5121
      {"A once, B once", kA + kB + kC, "2B 06 01 04 01 82 F5 45 0C A8 06"},  // .5126
      {"A once, C once", kA + kC, "2B 06 01 04 01 82 F5 45 0C A8 08"},       // .5128
      {"A three times", kA + kA + kA, "2B 06 01 04 01 82 F5 45 0C A8 00"},   // .5120
      {"empty census", "", "2B 06 01 04 01 82 F5 45 0C A8 01"},              // .5121
      {"no census file", std::nullopt, "2B 06 01 04 01 82 F5 45 0C A8 01"},
      // Real device lists run to kilobytes; a match past the first 1024 bytes counts.
      {"match after byte 1024", std::string(1500, 'x') + "\n" + kA + kA,
       "2B 06 01 04 01 82 F5 45 0C A8 04"},
  };
  for (const CensusCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(root_ / "proc/bus/pci/devices");
    if (c.census) write("proc/bus/pci/devices", *c.census);
    start();
    Asn id = get(2);
    ASSERT_TRUE(id);
    EXPECT_EQ(asnTag(id), 6);
    EXPECT_EQ(hexText(contents(id)), c.objectId);
  }
}

TEST_F(SystemGroup, FixedVariables) {
  start();
  EXPECT_EQ(text(get(4)), "Velmora Inc., Embedded Computing Business.");
  EXPECT_EQ(text(get(6)).size(), 84u);
  Asn services = get(7);
  EXPECT_EQ(asnTag(services), 2);
  EXPECT_EQ(hexText(contents(services)), "06");
  char host[65] = {};
  gethostname(host, 64);
  EXPECT_EQ(text(get(5)), host);
}

TEST_F(SystemGroup, UpTimeIsTimeTicksInWholeSeconds) {
  start();
  Asn up = get(3);
  ASSERT_TRUE(up);
  EXPECT_EQ(asnClass(up), kAsnApplication);
  EXPECT_EQ(asnTag(up), 3);
  EXPECT_EQ(asnNumber(asnValue(up), asnLength(up)) % 100, 0u);
  Bytes bare = hexBytes("2B 06 01 02 01 01 03");
  EXPECT_FALSE(mixGet(misCommunityToMib(nullptr), bare.data(), 7));
}

// sysUpTime must keep advancing by 100 a second however the wall clock is set: its clock is
// the monotonic one, which setting the time leaves alone.
TEST(UpTimeClock, IsTheMonotonicClockNotTheWallClock) {
  timespec before{}, after{};
  clock_gettime(CLOCK_MONOTONIC, &before);
  const std::int64_t seconds = systmClockSeconds();
  clock_gettime(CLOCK_MONOTONIC, &after);
  EXPECT_GE(seconds, before.tv_sec);
  EXPECT_LE(seconds, after.tv_sec);
}

// The limits and types a set takes are checked over the wire; here the undo path: what Get
// produced sets back.
TEST_F(SystemGroup, WritableTextsTakeBackWhatGetProduced) {
  start();
  for (int variable : {4, 5, 6}) {
    SCOPED_TRACE(variable);
    EXPECT_EQ(set(variable, octets(std::string(127, 'x'))), 0);
    Asn old = get(variable);
    EXPECT_EQ(set(variable, octets("short")), 0);
    EXPECT_EQ(set(variable, old), 0);
    EXPECT_EQ(text(get(variable)), std::string(127, 'x'));
  }
}

TEST_F(SystemGroup, ReadOnlyVariablesRefuseSet) {
  start();
  for (int variable : {1, 2, 3, 7}) {
    SCOPED_TRACE(variable);
    EXPECT_EQ(set(variable, octets("x")), 4);
  }
}

}  // namespace
