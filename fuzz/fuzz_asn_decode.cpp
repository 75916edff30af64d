// Feeds arbitrary datagrams to the decoder as the agent does, one message after
// another, and checks every complete tree: all components readable, contents
// consistent with lengths, and the root encoding into a datagram-sized buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "asn/asn.hpp"

namespace {

constexpr int kMaxDatagram = 2048;
constexpr int kContentsBuffer = 4096;  // more than any block can hold

void check(bool condition) {
  if (!condition) std::abort();
}

void walk(const Asn& root) {
  static std::uint8_t contents[kContentsBuffer];
  const int sons = asnSons(root);
  for (int i = 0; i <= sons + 1; ++i) {
    Asn c = asnComponent(root, static_cast<std::uint16_t>(i));
    if (i > sons) {
      check(c == nullptr);
      break;
    }
    check(c != nullptr);
    check(asnSons(c) <= sons - i);
    check(asnType(c) >= 1 && asnType(c) <= 6);
    check(asnClass(c) >= 0 && asnClass(c) <= 3);
    const int length = asnLength(c);
    check(asnContents(c, contents, kContentsBuffer) == length);
    if (!asnConstructor(c)) {
      const std::uint8_t* value = asnValue(c);
      check(value != nullptr);
      if (length > 0) check(std::memcmp(value, contents, static_cast<std::size_t>(length)) == 0);
      if (asnType(c) == kAsnInteger) asnNumber(value, length);
    }
    if (length > 0) check(asnContents(c, contents, length - 1) == -1);
    asnFree(c);
  }
}

// A complete tree re-encodes; the encoding decodes again to the same shape.
void reencode(const Asn& root) {
  static std::uint8_t out[kMaxDatagram];
  const int n = asnEncode(root, out, kMaxDatagram);
  check(n == -1 || (n > 0 && n <= kMaxDatagram));
  if (n <= 0) return;
  Asn again = asnNew();
  int status = kAsnMore;
  int used = 0;
  while (status == kAsnMore && used < n) status = asnDecode(again, out[used++]);
  // Re-encoding may lengthen an indefinite root by one octet, which can run out of room.
  check(status == kAsnComplete || status == kAsnNoRoom);
  if (status != kAsnComplete) return;
  check(used == n);
  check(asnSons(again) == asnSons(root));
  static std::uint8_t second[kMaxDatagram];
  check(asnEncode(again, second, kMaxDatagram) == n);
  check(std::memcmp(out, second, static_cast<std::size_t>(n)) == 0);

  // Decoded trees combine with built ones.
  Asn seq = asnSequence(kAsnUniversal, 16, kAsnSequence);
  const int free = asnFreeBytes(seq);
  if (asnAppend(seq, root) == 0) {
    check(asnSons(seq) == asnSons(root) + 1);
    check(asnFreeBytes(seq) == free - 52 * (asnSons(root) + 1) - n);
  } else {
    check(asnSons(seq) == 0 && asnFreeBytes(seq) == free);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxDatagram) return 0;
  Asn root = asnNew();
  for (std::size_t i = 0; i < size; ++i) {
    const int status = asnDecode(root, data[i]);
    if (status == kAsnMore) continue;
    if (status != kAsnComplete) break;
    check(asnDecode(root, 0) == kAsnComplete);  // finished trees stay finished
    walk(root);
    reencode(root);
    root = asnNew();
  }
  return 0;
}
