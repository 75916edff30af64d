// Hostile names against the kernel-backed groups: Get and GetNext on any suffix must
// stay inside the name buffer, and GetNext must answer a name after the one given.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/sysfile.hpp"
#include "daemon/snmpd.hpp"
#include "mib/idx.hpp"
#include "mib/mis.hpp"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "fuzz_mib_walk: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sysfileInit();
  cmdInit();  // every group the agent serves
  return 0;
}

// First byte: 0 for Get, else GetNext; the rest is the name.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size - 1 > static_cast<std::size_t>(kMixOidBuffer)) return 0;
  const bool get = data[0] == 0;
  std::uint8_t buffer[kMixOidBuffer];
  const int given = static_cast<int>(size - 1);
  std::memcpy(buffer, data + 1, size - 1);
  Mix* index = misCommunityToMib(nullptr);
  if (get) {
    mixGet(index, buffer, given);
    return 0;
  }
  int length = given;
  Asn value = mixNext(index, buffer, &length);
  if (!value) return 0;
  if (length <= 0 || length > kMixOidBuffer) fail("name length");
  IdxName before, after;
  idxDecode(data + 1, given, &before);
  idxDecode(buffer, length, &after);
  if (after.open) fail("answered name ends inside an arc");
  const int order = idxCompare(after.arc, after.count, before.arc, before.count);
  if (order < 0 || (order == 0 && !before.open)) fail("GetNext did not move forward");
  return 0;
}
