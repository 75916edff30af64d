// Feeds arbitrary datagrams to the decoder one message after another, byte by byte and
// again in runs as the agent does, and checks that both read the same, and every complete
// tree: all components readable, contents consistent with lengths, and the root encoding
// into a datagram-sized buffer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "asn/asn.hpp"
#include "engine/smp.hpp"

namespace {

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
  }
}

// A complete tree re-encodes; the encoding decodes again to the same shape.
void reencode(const Asn& root) {
  static std::uint8_t out[kSmpMaxDatagram];
  const int n = asnEncode(root, out, kSmpMaxDatagram);
  check(n == -1 || (n > 0 && n <= kSmpMaxDatagram));
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
  static std::uint8_t second[kSmpMaxDatagram];
  check(asnEncode(again, second, kSmpMaxDatagram) == n);
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

  // A pair appended straight into a list is the pair built in a block of its own.
  Asn direct = asnSequence(kAsnUniversal, 16, kAsnSequenceOf);
  Asn list = asnSequence(kAsnUniversal, 16, kAsnSequenceOf);
  Asn pair = asnSequence(kAsnUniversal, 16, kAsnSequence);
  const bool built =
      asnAppend(pair, root) == 0 && asnAppend(pair, again) == 0 && asnAppend(list, pair) == 0;
  check((asnAppendPair(direct, kAsnUniversal, 16, kAsnSequence, root, again) == 0) == built);
  check(asnFreeBytes(direct) == asnFreeBytes(list) && asnSons(direct) == asnSons(list));
  static std::uint8_t third[kSmpMaxDatagram * 2], fourth[kSmpMaxDatagram * 2];
  const int m = asnEncode(direct, third, sizeof third);
  check(m == asnEncode(list, fourth, sizeof fourth));
  if (m > 0) check(std::memcmp(third, fourth, static_cast<std::size_t>(m)) == 0);
}

// The same bytes in runs of varying length: the same statuses at the same bytes.
void decodeInRuns(const std::uint8_t* data, std::size_t size) {
  Asn single = asnNew(), runs = asnNew();
  std::size_t at = 0;
  for (std::size_t i = 0; at < size; ++i) {
    const int count = static_cast<int>(std::min<std::size_t>(1 + data[i % size] % 64, size - at));
    int used = 0;
    const int status = asnDecodeBytes(runs, data + at, count, &used);
    check(used >= 1 && used <= count);
    int expected = kAsnMore;
    for (int k = 0; k < used; ++k) {
      check(expected == kAsnMore);
      expected = asnDecode(single, data[at + k]);
    }
    check(status == expected);
    at += static_cast<std::size_t>(used);
    if (status == kAsnMore) continue;
    if (status != kAsnComplete) return;
    static std::uint8_t a[kSmpMaxDatagram], b[kSmpMaxDatagram];
    const int n = asnEncode(single, a, kSmpMaxDatagram);
    check(n == asnEncode(runs, b, kSmpMaxDatagram) && asnSons(single) == asnSons(runs));
    if (n > 0) check(std::memcmp(a, b, static_cast<std::size_t>(n)) == 0);
    single = asnNew();
    runs = asnNew();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kSmpMaxDatagram) return 0;
  decodeInRuns(data, size);
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
