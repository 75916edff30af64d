#include "groups/systm.hpp"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "asn/oid.hpp"
#include "common/sysfile.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"
#include "mib/miv.hpp"

namespace {

constexpr int kTextArea = kMivCapacity;  // every text area is one holder's capacity
constexpr int kHostNameMax = 64;

constexpr std::uint32_t kEnterprise = 47813;
constexpr unsigned long kProductLine = 12;

// PCI vendor-and-device strings as listed in /proc/bus/pci/devices.
constexpr const char* kPatternEthernet = "e4a17c21";
constexpr const char* kPatternSerial = "e4a29d03";
constexpr const char* kPatternDisplay = "e4a35b10";

constexpr const char* kContact = "Velmora Inc., Embedded Computing Business.";
constexpr const char* kLocation =
    "Velmora Inc., Embedded Computing Business, 120 Harbor Park Drive, Portland, OR 97209";
constexpr const char* kUnknownHost = "Unknown Hostname";

constexpr std::uint8_t kSysDescr[] = {0x2B, 6, 1, 2, 1, 1, 1};
constexpr std::uint8_t kSysObjectID[] = {0x2B, 6, 1, 2, 1, 1, 2};
constexpr std::uint8_t kSysUpTime[] = {0x2B, 6, 1, 2, 1, 1, 3};
constexpr std::uint8_t kSysContact[] = {0x2B, 6, 1, 2, 1, 1, 4};
constexpr std::uint8_t kSysName[] = {0x2B, 6, 1, 2, 1, 1, 5};
constexpr std::uint8_t kSysLocation[] = {0x2B, 6, 1, 2, 1, 1, 6};
constexpr std::uint8_t kSysServices[] = {0x2B, 6, 1, 2, 1, 1, 7};
constexpr int kSysOidLength = 7;

std::array<std::uint8_t, kTextArea> systmDescrText;
std::array<std::uint8_t, kTextArea> systmObjId;
std::array<std::uint8_t, kTextArea> systmContText;
std::array<std::uint8_t, kTextArea> systmNameText;
std::array<std::uint8_t, kTextArea> systmLocText;
std::array<char, kHostNameMax + 1> systmHostName;

MivBuffer systmDescrStr;
MivBuffer systmIdStr;
MivBuffer systmContStr;
MivBuffer systmNameStr;
MivBuffer systmLocStr;
std::int32_t systmServInt;
std::int64_t systmBootTime;  // seconds on systmClockSeconds

constexpr MixOps systmTimeOps = GeneralOps(systmTimeNext, systmTimeGet);

// Stores text (cut to what a holder can serve) in an area and points the holder at it.
void setHolder(MivBuffer& holder, std::array<std::uint8_t, kTextArea>& area, const char* text,
               std::size_t length) {
  length = std::min<std::size_t>(length, kTextArea - 1);
  area.fill(0);
  std::memcpy(area.data(), text, length);
  holder = MivBuffer{kTextArea, static_cast<std::int32_t>(length), area.data()};
}

void setHolder(MivBuffer& holder, std::array<std::uint8_t, kTextArea>& area, const char* text) {
  setHolder(holder, area, text, std::strlen(text));
}

// First line of /etc/version, else of /proc/version, without its newline. A file that
// opens but holds no line gives an empty description.
void readDescription() {
  for (const char* path : {"/etc/version", "/proc/version"}) {
    SysLines lines(path);
    if (!lines.valid()) continue;
    std::string_view line;
    if (!lines.next(&line)) line = "";  // a view on something: memcpy takes no null
    setHolder(systmDescrStr, systmDescrText, line.data(), line.size());
    return;
  }
  setHolder(systmDescrStr, systmDescrText, "Unknown");
  std::fputs("snmpd: cannot open /etc/version or /proc/version.\n", stdout);
  std::fflush(stdout);
}

// The PCI device list, a newline after each line; empty when it cannot be read.
std::string readCensus() {
  std::string text;
  SysLines lines("/proc/bus/pci/devices");
  for (std::string_view line; lines.next(&line);) {
    text += line;
    text += '\n';
  }
  return text;
}

std::uint32_t uptimeTicks() {
  return static_cast<std::uint32_t>(systmClockSeconds() - systmBootTime) * 100u;
}

}  // namespace

std::int64_t systmClockSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec;
}

int pattern_match_count(const std::string& text, const char* pattern) {
  const std::size_t n = std::strlen(pattern);
  int count = 0;
  for (std::size_t i = 0; i + n <= text.size(); ++i) {
    if (text.compare(i, n, pattern) == 0) ++count;
  }
  return count;
}

unsigned get_swid(const std::string& census) {
  // The census text ends at its first zero byte, as a C string would.
  const std::string text(census.c_str());
  const int ethernet = pattern_match_count(text, kPatternEthernet);
  if (ethernet == 2) return 0x5124;
  if (ethernet == 0) return 0x5121;
  if (pattern_match_count(text, kPatternSerial) == 1) return 0x5126;
  if (pattern_match_count(text, kPatternDisplay) == 1) return 0x5128;
  return 0x5120;
}

Asn systmTimeGet(void*, const std::uint8_t* suffix, int length) {
  if (length != 1 || suffix[0] != 0) return nullptr;
  return asnUnsl(kAsnApplication, 3, uptimeTicks());
}

Asn systmTimeNext(void*, std::uint8_t* suffix, int* length) {
  if (*length != 0) return nullptr;
  suffix[0] = 0;
  *length = 1;
  return asnUnsl(kAsnApplication, 3, uptimeTicks());
}

int systmInit() {
  // Nonzero once any registration failed: the agent must not serve without it.
  int failed = 0;
  readDescription();
  failed |= mivStringRO(kSysDescr, kSysOidLength, &systmDescrStr);

  // The model code is printed in hexadecimal and read back as a decimal
  // sub-identifier: 0x5124 becomes .5124.
  char text[64];
  std::snprintf(text, sizeof text, "1.3.6.1.4.1.%u.%lu.%x", kEnterprise, kProductLine,
                get_swid(readCensus()));
  systmObjId.fill(0);
  const int idLength = oidEncode(systmObjId.data(), kTextArea, text);
  if (idLength > 0) {
    systmIdStr = MivBuffer{kTextArea, idLength, systmObjId.data()};
    failed |= mivObjectIdRO(kSysObjectID, kSysOidLength, &systmIdStr);
  }

  systmBootTime = systmClockSeconds();
  failed |= misExport(kSysUpTime, kSysOidLength, &systmTimeOps, nullptr);

  setHolder(systmContStr, systmContText, kContact);
  failed |= mivStringRW(kSysContact, kSysOidLength, &systmContStr);

  systmHostName.fill(0);
  if (gethostname(systmHostName.data(), kHostNameMax) == 0) {
    systmHostName[kHostNameMax] = '\0';
    setHolder(systmNameStr, systmNameText, systmHostName.data());
  } else {
    setHolder(systmNameStr, systmNameText, kUnknownHost);
  }
  failed |= mivStringRW(kSysName, kSysOidLength, &systmNameStr);

  setHolder(systmLocStr, systmLocText, kLocation);
  failed |= mivStringRW(kSysLocation, kSysOidLength, &systmLocStr);

  systmServInt = 6;
  return failed | mivIntlRO(kSysServices, kSysOidLength, &systmServInt);
}
