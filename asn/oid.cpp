#include "asn/oid.hpp"

#include "asn/rdx.hpp"

namespace {

constexpr int kMaxSubidOctets = 5;  // base-128 digits of 32 bits
constexpr std::uint32_t kMaxSecondArc = 39;

}  // namespace

int oidEncodeSubid(std::uint8_t* out, int room, std::uint32_t subid) {
  std::uint8_t digits[kMaxSubidOctets];
  int count = 0;
  do {
    digits[count++] = static_cast<std::uint8_t>(subid & 0x7F);
    subid >>= 7;
  } while (subid != 0);
  if (count >= room) return room;
  for (int i = 0; i < count; ++i) {
    out[i] = static_cast<std::uint8_t>(digits[count - 1 - i] | (i < count - 1 ? 0x80 : 0));
  }
  return count;
}

int oidEncode(std::uint8_t* out, int room, const char* text) {
  if (out == nullptr || text == nullptr) return -1;
  if (*text == '\0' && room > 0) return 0;
  enum { kFirstArc, kSecondArc, kLaterArcs } state = kFirstArc;
  std::uint32_t current = 0;
  std::uint32_t firstPart = 0;
  int total = 0;
  bool finished = false;

  auto writeSubid = [&] {
    const int written = oidEncodeSubid(out, room, current);
    room -= written;
    total += written;
    out += written;
    current = 0;
    state = kLaterArcs;
  };
  // The first two arcs share one subidentifier: first * 40 + second, second below 40.
  auto closeSecondArc = [&] {
    if (current > kMaxSecondArc) {
      room = 0;
      return;
    }
    current += firstPart;
    writeSubid();
  };

  while (!finished && room > 0) {
    const char c = *text++;
    if (c >= '0' && c <= '9') {
      current = current * 10 + static_cast<std::uint32_t>(c - '0');
    } else if (c == '.' || c == '\0') {
      finished = c == '\0';
      switch (state) {
        case kFirstArc:
          if (finished) {
            room = 0;  // a single arc is no identifier
          } else {
            firstPart = current * 40;
            current = 0;
            state = kSecondArc;
          }
          break;
        case kSecondArc:
          closeSecondArc();
          break;
        case kLaterArcs:
          writeSubid();
          break;
      }
    } else {
      room = 0;
      finished = true;
    }
  }
  return room > 0 ? total : -1;
}

int oidDecode(char* out, int maximum, const std::uint8_t* bytes, int count) {
  if (out == nullptr || bytes == nullptr || count < 1) return -1;
  int next = 0;
  auto readSubid = [&] {
    std::uint32_t value = 0;
    std::uint8_t b;
    do {
      b = bytes[next++];
      value = value * 128 + (b & 0x7F);
    } while ((b & 0x80) && next < count);
    return value;
  };
  // Writes ".digits" at `at`; on failure the text ends before the full stop.
  auto writeArc = [&](int at, std::uint32_t value) {
    out[at] = '.';
    const int digits = rdxEncode10(out + at + 1, maximum - at - 1, value);
    if (digits < 0) {
      out[at] = '\0';
      return -1;
    }
    return at + 1 + digits;
  };

  const std::uint32_t first = readSubid();
  int length = rdxEncode10(out, maximum, first / 40);
  if (length < 0) return -1;
  length = writeArc(length, first % 40);
  while (length >= 0 && next < count) length = writeArc(length, readSubid());
  return length;
}
