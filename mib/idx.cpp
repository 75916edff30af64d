#include "mib/idx.hpp"

namespace {

constexpr std::uint32_t kArcMax = 0xFFFFFFFFu;

// One sub-identifier from `in`: bytes read, or -1 when the bytes end inside it or it
// exceeds 32 bits.
int readArc(const std::uint8_t* in, int available, std::uint32_t* arc) {
  std::uint64_t n = 0;
  for (int i = 0; i < available; ++i) {
    n = (n << 7) | (in[i] & 0x7Fu);
    if (n > kArcMax) return -1;
    if ((in[i] & 0x80) == 0) {
      *arc = static_cast<std::uint32_t>(n);
      return i + 1;
    }
  }
  return -1;
}

}  // namespace

void idxDecode(const std::uint8_t* bytes, int length, IdxName* out) {
  out->count = 0;
  out->open = false;
  std::uint64_t n = 0;
  for (int i = 0; i < length && out->count < kIdxMaxArcs; ++i) {
    n = (n << 7) | (bytes[i] & 0x7Fu);
    if (n > kArcMax) n = kArcMax;  // sticks: shifting the maximum keeps it above
    if ((bytes[i] & 0x80) == 0) {
      out->arc[out->count++] = static_cast<std::uint32_t>(n);
      n = 0;
    } else if (i + 1 == length) {
      // Whatever would follow adds at least one more 7-bit digit.
      out->arc[out->count++] = static_cast<std::uint32_t>(n > (kArcMax >> 7) ? kArcMax : n << 7);
      out->open = true;
    }
  }
}

int idxCompare(const std::uint32_t* a, int n, const std::uint32_t* b, int m) {
  const int common = n < m ? n : m;
  for (int i = 0; i < common; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return n == m ? 0 : (n < m ? -1 : 1);
}

int idxEncode(std::uint8_t* out, int room, const std::uint32_t* arcs, int n) {
  int written = 0;
  for (int i = 0; i < n; ++i) {
    int digits = 1;
    while (digits < 5 && (arcs[i] >> (7 * digits)) != 0) ++digits;
    if (digits > room - written) return -1;
    for (int d = digits - 1; d >= 0; --d) {
      const auto digit = static_cast<std::uint8_t>((arcs[i] >> (7 * d)) & 0x7F);
      out[written++] = d > 0 ? digit | 0x80 : digit;
    }
  }
  return written;
}

bool idxAddress(const std::uint32_t* arcs, int n, std::uint8_t address[4]) {
  if (n < 4) return false;
  for (int i = 0; i < 4; ++i) {
    if (arcs[i] > 255) return false;
    address[i] = static_cast<std::uint8_t>(arcs[i]);
  }
  return true;
}

void idxAddressArcs(const std::uint8_t address[4], std::uint32_t* arcs) {
  for (int i = 0; i < 4; ++i) arcs[i] = address[i];
}

int setipaddrname(const std::uint8_t address[4], std::uint8_t* out, int* length) {
  std::uint32_t arcs[4];
  idxAddressArcs(address, arcs);
  const int written = idxEncode(out, 8, arcs, 4);  // four components take at most 8 bytes
  *length += written;
  return written;
}

int getipaddr(std::uint8_t address[4], const std::uint8_t* in, int available) {
  int read = 0;
  for (int i = 0; i < 4; ++i) {
    std::uint32_t arc;
    const int used = readArc(in + read, available - read, &arc);
    if (used < 0 || arc > 255) return -1;
    address[i] = static_cast<std::uint8_t>(arc);
    read += used;
  }
  return read;
}

int setportname(std::uint16_t port, std::uint8_t* out, int* length) {
  const std::uint32_t arc = port;
  const int written = idxEncode(out, 3, &arc, 1);
  *length += written;
  return written;
}

int getport(std::uint16_t* port, const std::uint8_t* in, int available) {
  std::uint32_t arc;
  const int used = readArc(in, available, &arc);
  if (used < 0 || arc > 0xFFFF) return -1;
  *port = static_cast<std::uint16_t>(arc);
  return used;
}
