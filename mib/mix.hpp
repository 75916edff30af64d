// The MIB index: registrations under OID prefixes (BER contents bytes), kept
// in an AVL tree, with Get, GetNext and Set dispatched to each object's
// operations on the rest of the OID (the suffix).
#pragma once

#include <cstdint>
#include <memory>

#include "asn/asn.hpp"

inline constexpr int kMixOidBuffer = 32;  // the engine's GetNext name buffer

// Operations of a registered object. `object` is the registration's own state.
// Next: on entry the suffix buffer holds the current suffix (length 0: before
// every instance); on success it holds the next instance's suffix.
struct MixOps {
  int (*release)(void* object);
  int (*create)(void* object, const std::uint8_t* suffix, int length, const Asn& value);
  int (*destroy)(void* object, const std::uint8_t* suffix, int length);
  Asn (*next)(void* object, std::uint8_t* suffix, int* length);
  Asn (*get)(void* object, const std::uint8_t* suffix, int length);
  int (*set)(void* object, const std::uint8_t* suffix, int length, const Asn& value);
};

struct MixEntry {
  const MixOps* operations;
  void* object;
  std::int32_t oidLength;
  const std::uint8_t* oid;  // the registrant's bytes, not a copy
};

struct Mix;

void* mixInit(void* any);
Mix* mixNew();
int mixFree(Mix* index);  // the index, its tree and its entries; null allowed; returns 0
Asn mixValue(const MixOps* operations, void* object);  // carrier: class 1, tag 153, 16 bytes
int mixCreate(Mix* index, const std::uint8_t* oid, int length, const Asn& carrier);
Asn mixGet(Mix* index, const std::uint8_t* oid, int length);
Asn mixNext(Mix* index, std::uint8_t* buffer, int* length);
int mixSet(Mix* index, const std::uint8_t* oid, int length, const Asn& value);
int mixDestroy(Mix* index, const std::uint8_t* oid, int length);
int mixCmp(const void* entry, const std::uint8_t* key, int length);

struct MixDeleter {
  void operator()(Mix* index) const noexcept { mixFree(index); }
};
using MixIndex = std::unique_ptr<Mix, MixDeleter>;
