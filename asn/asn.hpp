// ASN.1 values: a whole tree lives in one reference-counted block, nodes in
// pre-order, so a component is addressed by its pre-order index. `Asn` is a
// handle: one node plus one reference on its block. Copying a handle adds a
// reference, destroying it drops one, so no reference leaks on an error path.
#pragma once

#include <cstddef>
#include <cstdint>

// Type codes of a value node (also the grammar kinds of the decoder).
enum AsnType : int {
  kAsnChoice = 0,  // grammar only: a choice of tags
  kAsnInteger = 1,
  kAsnOctets = 2,
  kAsnObjectId = 3,
  kAsnSequence = 4,
  kAsnSequenceOf = 5,
  kAsnNull = 6,
};

enum AsnClass : int {
  kAsnUniversal = 0,
  kAsnApplication = 1,
  kAsnContext = 2,
  kAsnPrivate = 3,
};

// Decoder and block status.
enum AsnStatus : int {
  kAsnMore = 0,      // decoding in progress: give the next byte
  kAsnComplete = 1,  // complete and usable
  kAsnSyntax = 2,    // syntax error
  kAsnNoRoom = 3,    // out of room (or no tree)
};

inline constexpr int kAsnNodeCost = 52;     // free bytes one node takes from a block
inline constexpr int kAsnBlockSize = 4096;  // data size requested for sequences and decoding roots

struct AsnBlock;

class Asn {
 public:
  Asn() noexcept = default;
  Asn(std::nullptr_t) noexcept {}
  Asn(const Asn& other) noexcept;
  Asn(Asn&& other) noexcept;
  Asn& operator=(const Asn& other) noexcept;
  Asn& operator=(Asn&& other) noexcept;
  ~Asn();

  explicit operator bool() const noexcept { return block_ != nullptr; }
  friend bool operator==(const Asn& a, std::nullptr_t) noexcept { return a.block_ == nullptr; }

  // Implementation access: the block and the node's slot in it.
  Asn(AsnBlock* block, std::uint16_t slot) noexcept;  // adopts one reference
  AsnBlock* block() const noexcept { return block_; }
  std::uint16_t slot() const noexcept { return slot_; }

 private:
  AsnBlock* block_ = nullptr;
  std::uint16_t slot_ = 0;
};

// Constructors: a new handle (status complete, one reference), or null when memory is short.
Asn asnPrim(int cls, std::int32_t tag, int type, const std::uint8_t* bytes, int length);
Asn asnUnsl(int cls, std::int32_t tag, std::uint32_t number);
Asn asnIntl(int cls, std::int32_t tag, std::int32_t number);
Asn asnOctetString(int cls, std::int32_t tag, const std::uint8_t* bytes, int length);
Asn asnObjectId(int cls, std::int32_t tag, const std::uint8_t* bytes, int length);
Asn asnSequence(int cls, std::int32_t tag, int type);

// Tree operations.
int asnAppend(const Asn& parent, const Asn& child);  // 0, or 3 with the parent unchanged
// Appends a constructed value of the two as building it in a block of its own and appending
// that would, without the block: a variable binding straight into its list.
int asnAppendPair(const Asn& parent, int cls, std::int32_t tag, int type, const Asn& first,
                  const Asn& second);
Asn asnComponent(const Asn& value, std::uint16_t index);  // pre-order index; null beyond
Asn asnFree(Asn& value);                                  // drops this handle's reference; null
int asnEncode(const Asn& value, std::uint8_t* buffer, int size);     // bytes written, or -1
int asnEncodeTag(const Asn& value, std::uint8_t* out, int room);     // octets, 0 if no room
int asnEncodeLength(const Asn& value, std::uint8_t* out, int room);  // octets, 0 if no room

// Accessors (no reference count changes).
std::int32_t asnTag(const Asn& value);
int asnClass(const Asn& value);
int asnType(const Asn& value);
std::int32_t asnLength(const Asn& value);
std::uint16_t asnSons(const Asn& value);
int asnConstructor(const Asn& value);
const std::uint8_t* asnValue(const Asn& value);  // valid while any handle on the block lives
// The value's primitive contents in order: their byte count, or -1 when more than `maximum`.
// Of a decoding that stopped short, only values that were read to their end.
int asnContents(const Asn& value, std::uint8_t* buffer, int maximum);
std::uint32_t asnNumber(const std::uint8_t* bytes, int count);
int asnFreeBytes(const Asn& value);  // remaining capacity of the value's block

// Incremental decoder.
void* asnInit(void* any);                  // start-up hook: returns its argument
Asn asnNew(const void* any = nullptr);     // new decoding root for the SNMPv1 message grammar
int asnDecode(const Asn& root, int byte);  // AsnStatus after this byte
// The same for `count` bytes in turn, stopping after the first that ends decoding (complete or
// an error); `used` says how many were taken.
int asnDecodeBytes(const Asn& root, const std::uint8_t* bytes, int count, int* used);
