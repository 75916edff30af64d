// Small helpers shared by the unit tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "asn/asn.hpp"

using Bytes = std::vector<std::uint8_t>;

// "30 1A 02 01 00" -> bytes; blanks are ignored.
inline Bytes hexBytes(std::string_view text) {
  Bytes out;
  int nibble = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      continue;
    if (nibble < 0) {
      nibble = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(nibble * 16 + v));
      nibble = -1;
    }
  }
  return out;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// One BER value: identifier, definite length (short or long form), contents.
// Built by push_back: GCC 12 at -O3 reports false bounds errors for an insert
// of an initializer list here.
inline Bytes tlv(std::uint8_t tag, const Bytes& contents) {
  const std::size_t n = contents.size();
  Bytes out;
  out.reserve(n + 4);
  out.push_back(tag);
  if (n >= 0x100) {
    out.push_back(0x82);
    out.push_back(static_cast<std::uint8_t>(n >> 8));
  } else if (n >= 0x80) {
    out.push_back(0x81);
  }
  out.push_back(static_cast<std::uint8_t>(n));
  for (std::uint8_t b : contents) out.push_back(b);
  return out;
}

inline Bytes octets(std::string_view text) {
  return tlv(0x04, Bytes(text.begin(), text.end()));
}
inline Bytes nullValue() {
  return hexBytes("05 00");
}
// SEQUENCE { OBJECT IDENTIFIER with these contents, value }.
inline Bytes varBind(const Bytes& oid, const Bytes& value) {
  return tlv(0x30, join({tlv(0x06, oid), value}));
}

// A message: version, community, PDU with request-id bytes (whole TLV),
// error-status and error-index, and bindings.
inline Bytes message(std::string_view community, std::uint8_t pduTag, const Bytes& requestId,
                     const std::vector<Bytes>& binds, int status = 0, int index = 0,
                     const Bytes& version = hexBytes("02 01 00")) {
  Bytes list;
  for (const Bytes& b : binds) list.insert(list.end(), b.begin(), b.end());
  const Bytes pdu =
      tlv(pduTag, join({requestId, tlv(0x02, {static_cast<std::uint8_t>(status)}),
                        tlv(0x02, {static_cast<std::uint8_t>(index)}), tlv(0x30, list)}));
  return tlv(0x30, join({version, octets(community), pdu}));
}

// A Trap: enterprise 1.3.6.1, agent 10.0.0.1, generic 6, specific 1, time 5,
// one binding.
inline Bytes trap(std::string_view community) {
  return tlv(
      0x30, join({hexBytes("02 01 00"), octets(community),
                  tlv(0xA4, join({hexBytes("06 03 2B 06 01 40 04 0A 00 00 01 02 01 06 02 01 01 "
                                           "43 01 05"),
                                  tlv(0x30, varBind(hexBytes("2B 06"), hexBytes("02 01 F6")))}))}));
}

// Arcs as BER sub-identifiers: base 128, every byte of an arc but its last flagged.
inline Bytes berArcs(const std::vector<std::uint32_t>& arcs) {
  Bytes out;
  for (std::uint32_t arc : arcs) {
    Bytes digits{static_cast<std::uint8_t>(arc & 0x7F)};
    for (arc >>= 7; arc != 0; arc >>= 7) {
      digits.insert(digits.begin(), static_cast<std::uint8_t>(0x80 | (arc & 0x7F)));
    }
    out.insert(out.end(), digits.begin(), digits.end());
  }
  return out;
}

// A value's BER bytes, by the agent's encoder; empty for none, or when it cannot be encoded.
inline Bytes encoded(const Asn& value) {
  static Bytes buffer(70000);  // the largest value a test encodes
  const int n = value ? asnEncode(value, buffer.data(), static_cast<int>(buffer.size())) : -1;
  return n < 0 ? Bytes{} : Bytes(buffer.begin(), buffer.begin() + n);
}

// "v" and 7 -> "v7". Appending in place: GCC 12 at -O3 reports a false
// restrict error for `"v" + std::to_string(7)`.
inline std::string numbered(std::string_view prefix, long n) {
  std::string out(prefix);
  out += std::to_string(n);
  return out;
}

// bytes -> "30 1A 02", for readable failure messages.
inline std::string hexText(const std::uint8_t* data, std::size_t size) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
    out += buf;
  }
  return out;
}
inline std::string hexText(const Bytes& bytes) {
  return hexText(bytes.data(), bytes.size());
}

// An IPv4 address as /proc/net/route, tcp and udp print it: the word its four bytes make in
// this machine's memory, in hexadecimal (10.0.0.1 is 0100000A on a little-endian machine,
// 0A000001 on a big-endian one). Fixtures written with it read the same on either.
inline std::string kernelHex(const std::string& dotted) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                 static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d)};
  std::uint32_t word;
  std::memcpy(&word, bytes, sizeof word);
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(word));
  return text;
}
// "127.0.0.1:0035" -> the address as kernelHex prints it, then the port as written.
inline std::string kernelEndpoint(const std::string& endpoint) {
  const std::size_t colon = endpoint.find(':');
  return kernelHex(endpoint.substr(0, colon)) + endpoint.substr(colon);
}

// Orders sequences of arcs element by element. Not the containers' own <: GCC 12's library
// builds it on a memcmp that, on a big-endian machine, compares too few bytes of wider
// elements.
struct ArcsLess {
  template <class Sequence>
  bool operator()(const Sequence& a, const Sequence& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
  }
};
inline constexpr ArcsLess arcsLess{};
