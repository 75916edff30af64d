// The whole message path: bytes into smpInput as the receive loop feeds them.
// Every reply must decode again with the agent's own decoder, be a
// GetResponse and carry the request-id of the request it answers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "asn/asn.hpp"
#include "common/snmpmib.hpp"
#include "engine/ap0.hpp"
#include "engine/aps.hpp"
#include "engine/smp.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"

namespace {

// A writable text under 1.3.6.1.4.1.1, so that Set and its undo are reached.
constexpr std::uint8_t kTextOid[] = {0x2B, 6, 1, 4, 1, 1};
std::string text = "fuzz";

Asn textValue() {
  return asnOctetString(kAsnUniversal, 4, reinterpret_cast<const std::uint8_t*>(text.data()),
                        static_cast<int>(text.size()));
}
Asn textGet(void*, const std::uint8_t*, int length) {
  return length == 0 ? textValue() : nullptr;
}
Asn textNext(void*, std::uint8_t*, int* length) {
  return *length == 0 ? textValue() : nullptr;
}
int textSet(void*, const std::uint8_t*, int length, const Asn& value) {
  if (length != 0) return 2;
  const std::uint8_t* bytes = asnValue(value);
  if (asnTag(value) != 4 || !bytes || asnLength(value) > 64) return 3;
  text.assign(bytes, bytes + asnLength(value));
  return 0;
}
constexpr MixOps kTextOps = {GeneralRelease, GeneralCreate, GeneralDestroy,
                             textNext,       textGet,       textSet};

// The request being answered: a mirror decoder sees each byte just before the
// engine does, so when a reply goes out it holds the message it answers.
struct Mirror {
  Asn tree;
  std::uint8_t requestId[kSmpMaxDatagram];
  int requestIdLength = -1;
  int replies = 0;
};
Mirror mirror;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "fuzz_smp_input: %s\n", what);
  std::abort();
}

int checkReply(void*, const std::uint8_t* bytes, int length) {
  if (length <= 0 || length > kSmpMaxDatagram) fail("reply size");
  if (mirror.requestIdLength < 0) fail("reply without a request");
  Asn reply = asnNew();
  for (int i = 0; i < length; ++i) {
    const int status = asnDecode(reply, bytes[i]);
    if (status != (i + 1 == length ? kAsnComplete : kAsnMore)) fail("reply does not decode");
  }
  Asn pdu = asnComponent(reply, 3);
  if (asnClass(pdu) != kAsnContext || asnTag(pdu) != kSmpGetResponse) fail("not a GetResponse");
  Asn id = asnComponent(reply, 4);
  if (asnLength(id) != mirror.requestIdLength ||
      std::memcmp(asnValue(id), mirror.requestId, mirror.requestIdLength) != 0)
    fail("request-id not copied");
  Asn status = asnComponent(reply, 5);
  Asn index = asnComponent(reply, 6);
  const std::uint32_t s = asnNumber(asnValue(status), asnLength(status));
  if (s > kSnmpGenErr) fail("error-status out of range");
  if (s == 0 && asnNumber(asnValue(index), asnLength(index)) != 0)
    fail("error-index without error");
  ++mirror.replies;
  return 0;
}

int acceptUpcall(Smp*, SmpPdu*) {
  return 0;
}

void mirrorByte(std::uint8_t byte) {
  if (!mirror.tree) mirror.tree = asnNew();
  const int status = asnDecode(mirror.tree, byte);
  if (status == kAsnMore) return;
  mirror.requestIdLength = -1;
  if (status == kAsnComplete) {
    Asn id = asnComponent(mirror.tree, 4);
    const int n = asnContents(id, mirror.requestId, sizeof mirror.requestId);
    Asn pdu = asnComponent(mirror.tree, 3);
    if (asnTag(pdu) != kSmpTrap && n >= 0) mirror.requestIdLength = n;
  }
  mirror.tree = nullptr;  // the next byte starts a new message
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  asnInit(nullptr);
  misInit();
  apsInit();
  ap0Init();
  smpInit();
  misExport(kTextOid, sizeof kTextOid, &kTextOps, nullptr);
  if (!apsNew("public", "trivial", 0)) fail("no community");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > static_cast<std::size_t>(kSmpMaxDatagram)) size = kSmpMaxDatagram;
  mirror = Mirror{};
  text = "fuzz";
  Smp* context = smpNew(nullptr, checkReply, acceptUpcall);
  for (std::size_t i = 0; i < size; ++i) {
    mirrorByte(data[i]);
    if (smpInput(context, data[i]) != 0) break;
  }
  smpFree(context);
  mirror = Mirror{};
  return 0;
}
