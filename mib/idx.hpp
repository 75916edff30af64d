// Row indexes and names as numbers. A name's BER bytes are compared arc by arc as
// numbers, never byte by byte: port 16383 (FF 7F) sorts before 16384 (81 80 00).
#pragma once

#include <cstdint>

#include "mib/mix.hpp"

inline constexpr int kIdxMaxArcs = kMixOidBuffer;  // a name never holds more bytes

// The arcs of a name, or of the part of one after some prefix.
struct IdxName {
  std::uint32_t arc[kIdxMaxArcs];
  int count = 0;
  // The bytes ran out inside the last arc: it stands for the smallest arc those bytes
  // could begin, and the name sorts just before it rather than at it.
  bool open = false;
};

// Decodes BER sub-identifiers; arcs beyond 32 bits saturate at 2^32-1.
void idxDecode(const std::uint8_t* bytes, int length, IdxName* out);

// Lexicographic order of two arc sequences, a proper prefix first: <0, 0 or >0.
int idxCompare(const std::uint32_t* a, int n, const std::uint32_t* b, int m);

// BER bytes of the arcs: the number written, or -1 when they do not fit in `room`.
int idxEncode(std::uint8_t* out, int room, const std::uint32_t* arcs, int n);

// The four arcs of an address, each 0 to 255; false when fewer arcs remain or one is
// larger.
bool idxAddress(const std::uint32_t* arcs, int n, std::uint8_t address[4]);
void idxAddressArcs(const std::uint8_t address[4], std::uint32_t* arcs);

// An address as four sub-identifiers at `out` (a component of 128 or more takes two
// bytes, 81 and the component minus 128). Adds the bytes written to *length and returns
// their number.
int setipaddrname(const std::uint8_t address[4], std::uint8_t* out, int* length);
// Reads four address components from `in`, which holds `available` bytes: the bytes
// read, or -1 when the suffix ends first or a component is not 0 to 255.
int getipaddr(std::uint8_t address[4], const std::uint8_t* in, int available);
// A port (host order) as one sub-identifier, and back.
int setportname(std::uint16_t port, std::uint8_t* out, int* length);
int getport(std::uint16_t* port, const std::uint8_t* in, int available);
