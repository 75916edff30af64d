#include "asn/asn.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "asn/asl.hpp"
#include "common/nomem.hpp"
#include "common/snmpmib.hpp"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SNMPD_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(SNMPD_ASAN)
constexpr bool kKeepBlocks = false;
#else
constexpr bool kKeepBlocks = true;
#endif

namespace {

constexpr std::uint16_t kFlagConstructed = 0x04;
constexpr std::uint16_t kFlagExactEnd = 0x08;    // must end exactly with its bounded parent
constexpr std::uint16_t kFlagIndefinite = 0x10;  // closes on end-of-contents octets
constexpr std::uint16_t kFlagClosed = 0x20;      // decoding: all of the value was read
constexpr int kEndEvent = 256;                   // the contents of the current value are complete
constexpr int kEndOfContentsOctets = 2;
constexpr std::int32_t kUnbounded = -1;
constexpr int kMaxSlotCount = 0xFFFF;  // slot numbers are 16-bit
constexpr int kMaxTagOctets = 6;       // 0x1F plus five base-128 digits of 32 bits

}  // namespace

// Decoder states; asnFnTbl maps a grammar kind to the state that reads its contents.
enum class AsnState : std::uint8_t {
  Type0,
  Len0,
  Len1,
  Integer0,
  Integer1,
  Integer2,
  OctetString0,
  ObjectId0,
  ObjectId1,
  Null,
  Seq,
  SeqOf,
  Eoc1,
};

struct AsnNode {
  std::uint16_t parent = 0;  // slot of the enclosing value; 0 for a block root
  std::uint16_t descendants = 0;
  std::uint16_t flags = 0;
  std::int32_t encodedSize = 0;  // decoding: bytes consumed; building: where the next child goes
  std::int32_t budget = kUnbounded;
  std::int32_t contentsLength = 0;
  std::int32_t valueLength = 0;
  std::int64_t endPosition = 0;  // wide: a long-form length may point far past any block
  std::int32_t type = 0;
  std::int32_t cls = 0;
  std::int32_t tag = 0;
  std::int32_t contentsOffset = 0;
  const AslNode* grammar = nullptr;
};

// One tree, one allocation: this header, then the node records (index 0 is the
// root, index i the node at slot root - i, so a pre-order index is an array
// index), then the data area. The data area and the nodes share one budget of
// free bytes, exactly as if the nodes were carved from the end of the data area.
struct AsnBlock {
  const AslNode* grammar = nullptr;
  int status = kAsnComplete;
  int depth = 0;
  std::int32_t freeBytes = 0;
  std::uint16_t lowestSlot = 0;
  std::uint16_t slotCount = 0;
  std::uint16_t rootSlot = 0;
  std::uint16_t current = 0;
  std::int32_t bytesReceived = 0;
  int lengthBitsPending = 0;
  std::uint32_t references = 1;
  AsnState state = AsnState::Type0;
  const AslNode* pending = nullptr;
  int nodeCapacity = 0;
  AsnNode* nodes = nullptr;
  std::uint8_t* data = nullptr;

  AsnNode& node(std::uint16_t slot) { return nodes[rootSlot - slot]; }
  AsnNode& root() { return nodes[0]; }
};

namespace {

// Two sizes of block live and die with every message: the standard growable one and the
// smallest primitive (a number, a short name), so a few freed ones of each are kept for the
// next request instead of going back to malloc. Under the address sanitizer every block goes
// back to malloc, so that it sees every release and any use after it.
enum BlockKind { kStandardBlock, kSmallBlock, kOtherBlock };

constexpr int kStandardCapacity = kAsnBlockSize / kAsnNodeCost + 2;

struct BlockCache {
  static constexpr int kKept = 8;
  void* kept[kKept];
  int count;
};
constinit BlockCache blockCache[2]{};

BlockKind kindOf(int capacity, std::int64_t rootSlot) {
  if (capacity == kStandardCapacity) return kStandardBlock;
  return capacity == 1 && rootSlot == 1 ? kSmallBlock : kOtherBlock;
}

void* blockMemory(std::size_t bytes, BlockKind kind) {
  if (kind != kOtherBlock && blockCache[kind].count > 0) {
    return blockCache[kind].kept[--blockCache[kind].count];
  }
  return std::malloc(bytes);
}

// A block for a requested data size: (size div 52 + 1) * 52 free bytes. Blocks
// that can never grow (primitives) only get room for their root node.
AsnBlock* blockNew(std::int64_t size, bool growable) {
  if (size < 0) return nullptr;
  const std::int64_t rootSlot = size / kAsnNodeCost + 1;
  const std::int64_t slotCount = rootSlot + 3;
  if (slotCount > kMaxSlotCount) return nullptr;
  const std::int64_t freeBytes = rootSlot * kAsnNodeCost;
  const int capacity = growable ? static_cast<int>(rootSlot) + 1 : 1;
  const std::size_t bytes = sizeof(AsnBlock) +
                            sizeof(AsnNode) * static_cast<std::size_t>(capacity) +
                            static_cast<std::size_t>(freeBytes);
  void* memory = blockMemory(bytes, kindOf(capacity, rootSlot));
  if (memory == nullptr) {
    nomemNote();
    return nullptr;
  }
  auto* block = new (memory) AsnBlock{};
  block->nodes = reinterpret_cast<AsnNode*>(block + 1);
  // Only the root exists yet; every other slot is constructed when a node is placed in it.
  new (block->nodes) AsnNode{};
  block->data = reinterpret_cast<std::uint8_t*>(block->nodes + capacity);
  block->nodeCapacity = capacity;
  block->freeBytes = static_cast<std::int32_t>(freeBytes);
  block->rootSlot = static_cast<std::uint16_t>(rootSlot);
  block->lowestSlot = block->rootSlot;
  block->current = block->rootSlot;
  block->slotCount = static_cast<std::uint16_t>(slotCount);
  return block;
}

void blockRelease(AsnBlock* block) {
  if (block == nullptr || --block->references != 0) return;
  const BlockKind kind = kindOf(block->nodeCapacity, block->rootSlot);
  block->~AsnBlock();
  if (kKeepBlocks && kind != kOtherBlock && blockCache[kind].count < BlockCache::kKept) {
    blockCache[kind].kept[blockCache[kind].count++] = block;
    return;
  }
  std::free(block);
}

AsnNode* nodeOf(const Asn& value) {
  AsnBlock* block = value.block();
  return block != nullptr ? &block->node(value.slot()) : nullptr;
}

int encodeTag(const AsnNode& node, std::uint8_t* out, int room) {
  if (room <= 0) return 0;
  std::uint8_t first = static_cast<std::uint8_t>((node.cls & 3) << 6);
  if (node.flags & kFlagConstructed) first |= 0x20;
  auto tag = static_cast<std::uint32_t>(node.tag);
  if (tag < 0x1F) {
    out[0] = static_cast<std::uint8_t>(first | tag);
    return 1;
  }
  std::uint8_t digits[kMaxTagOctets - 1];
  int count = 0;
  do {
    digits[count++] = static_cast<std::uint8_t>(tag & 0x7F);
    tag >>= 7;
  } while (tag != 0);
  if (1 + count > room) return 0;
  out[0] = static_cast<std::uint8_t>(first | 0x1F);
  for (int i = 0; i < count; ++i) {
    out[1 + i] = static_cast<std::uint8_t>(digits[count - 1 - i] | (i < count - 1 ? 0x80 : 0));
  }
  return 1 + count;
}

int encodeLength(const AsnNode& node, std::uint8_t* out, int room) {
  if (room <= 0) return 0;
  auto length = static_cast<std::uint32_t>(node.contentsLength);
  if (length <= 0x7F) {
    out[0] = static_cast<std::uint8_t>(length);
    return 1;
  }
  int count = 1;
  while (count < 4 && (length >> (8 * count)) != 0) ++count;
  if (count + 1 > room) return 0;
  out[0] = static_cast<std::uint8_t>(0x80 | count);
  for (int i = 0; i < count; ++i) {
    out[1 + i] = static_cast<std::uint8_t>(length >> (8 * (count - 1 - i)));
  }
  return count + 1;
}

Asn primitive(int cls, std::int32_t tag, int type, const std::uint8_t* bytes, int length) {
  if (length < 0 || (length > 0 && bytes == nullptr)) return nullptr;
  AsnBlock* block = blockNew(length, false);
  if (block == nullptr) return nullptr;
  AsnNode& root = block->root();
  root.type = type;
  root.cls = cls;
  root.tag = tag;
  root.contentsLength = length;
  root.valueLength = type == kAsnNull ? 0 : length;
  root.encodedSize = length;
  if (length > 0) std::memcpy(block->data, bytes, static_cast<std::size_t>(length));
  return Asn(block, block->rootSlot);
}

}  // namespace

// ---- Handle ----

Asn::Asn(AsnBlock* block, std::uint16_t slot) noexcept : block_(block), slot_(slot) {}

Asn::Asn(const Asn& other) noexcept : block_(other.block_), slot_(other.slot_) {
  if (block_ != nullptr) ++block_->references;
}

Asn::Asn(Asn&& other) noexcept : block_(other.block_), slot_(other.slot_) {
  other.block_ = nullptr;
  other.slot_ = 0;
}

Asn& Asn::operator=(const Asn& other) noexcept {
  Asn copy(other);
  return *this = std::move(copy);
}

Asn& Asn::operator=(Asn&& other) noexcept {
  if (this != &other) {
    blockRelease(block_);
    block_ = other.block_;
    slot_ = other.slot_;
    other.block_ = nullptr;
    other.slot_ = 0;
  }
  return *this;
}

Asn::~Asn() {
  blockRelease(block_);
}

// ---- Constructors ----

Asn asnPrim(int cls, std::int32_t tag, int type, const std::uint8_t* bytes, int length) {
  return primitive(cls, tag, type, bytes, length);
}

Asn asnUnsl(int cls, std::int32_t tag, std::uint32_t number) {
  std::uint8_t scratch[5];
  int start = sizeof scratch;
  do {
    scratch[--start] = static_cast<std::uint8_t>(number);
    number >>= 8;
  } while (number != 0);
  if (scratch[start] & 0x80) scratch[--start] = 0x00;
  return primitive(cls, tag, kAsnInteger, scratch + start,
                   static_cast<int>(sizeof scratch) - start);
}

Asn asnIntl(int cls, std::int32_t tag, std::int32_t number) {
  if (number >= 0) return asnUnsl(cls, tag, static_cast<std::uint32_t>(number));
  std::uint8_t scratch[5];
  int start = sizeof scratch;
  do {
    scratch[--start] = static_cast<std::uint8_t>(number);
    number >>= 8;  // arithmetic: stops at -1
  } while (number != -1);
  if (!(scratch[start] & 0x80)) scratch[--start] = 0xFF;
  return primitive(cls, tag, kAsnInteger, scratch + start,
                   static_cast<int>(sizeof scratch) - start);
}

Asn asnOctetString(int cls, std::int32_t tag, const std::uint8_t* bytes, int length) {
  return primitive(cls, tag, kAsnOctets, bytes, length);
}

Asn asnObjectId(int cls, std::int32_t tag, const std::uint8_t* bytes, int length) {
  // The last subidentifier byte must end its subidentifier.
  if (length > 0 && bytes != nullptr && (bytes[length - 1] & 0x80)) return nullptr;
  return primitive(cls, tag, kAsnObjectId, bytes, length);
}

Asn asnSequence(int cls, std::int32_t tag, int type) {
  AsnBlock* block = blockNew(kAsnBlockSize, true);
  if (block == nullptr) return nullptr;
  AsnNode& root = block->root();
  root.type = type;
  root.cls = cls;
  root.tag = tag;
  root.flags = kFlagConstructed;
  return Asn(block, block->rootSlot);
}

// ---- Tree operations ----

namespace {

// Room for a value of `count` nodes with root `root` at the end of the parent's contents:
// its tag and length are written there (their size in *header), and the free bytes left after
// its contents too are returned, or -1 (nothing changed) when it does not fit.
int placeHeader(AsnBlock& pb, const AsnNode& p, const AsnNode& root, int count,
                std::int32_t* header) {
  const std::int64_t need = static_cast<std::int64_t>(kAsnNodeCost) * count;
  if (pb.freeBytes < need) return -1;
  // The accounting guarantees slots; this only guards the node array itself.
  if (pb.lowestSlot - (pb.rootSlot + 1 - pb.nodeCapacity) < count) return -1;
  int room = static_cast<int>(pb.freeBytes - need);
  // Children go right after the parent's contents (for a decoded root that
  // ended with end-of-contents octets, those octets are overwritten).
  std::uint8_t* out = pb.data + p.contentsOffset + p.contentsLength;
  const int tagOctets = encodeTag(root, out, room);
  if (tagOctets == 0) return -1;
  room -= tagOctets;
  const int lengthOctets = encodeLength(root, out + tagOctets, room);
  if (lengthOctets == 0) return -1;
  room -= lengthOctets;
  if (root.contentsLength > room) return -1;
  *header = tagOctets + lengthOctets;
  return room - root.contentsLength;
}

// Copies `count` nodes, a subtree's run in pre-order, to `to`, where their contents now lie
// `shift` bytes further on, all under the block's root.
void moveNodes(const AsnBlock& pb, AsnNode* to, const AsnNode* from, int count,
               std::int32_t shift) {
  std::memmove(static_cast<void*>(to), from, sizeof(AsnNode) * count);
  for (int i = 0; i < count; ++i) {
    to[i].contentsOffset += shift;
    to[i].parent = pb.rootSlot;
  }
}

// The parent takes in an appended value.
void grow(AsnBlock& pb, AsnNode& p, const AsnNode& root, int count, std::int32_t header, int room) {
  const std::int32_t size = header + root.contentsLength;
  pb.freeBytes = room;
  p.descendants = static_cast<std::uint16_t>(p.descendants + count);
  p.encodedSize += size;
  p.contentsLength += size;
  p.valueLength += root.valueLength;
}

}  // namespace

int asnAppend(const Asn& parent, const Asn& child) {
  AsnNode* p = nodeOf(parent);
  AsnNode* c = nodeOf(child);
  if (p == nullptr || c == nullptr) return kAsnNoRoom;
  AsnBlock& pb = *parent.block();
  AsnBlock& cb = *child.block();
  if (pb.status != kAsnComplete || cb.status != kAsnComplete) return kAsnNoRoom;
  if (!(p->flags & kFlagConstructed) || p->parent != 0) return kAsnNoRoom;

  const int count = c->descendants + 1;
  std::int32_t header = 0;
  const int room = placeHeader(pb, *p, *c, count, &header);
  if (room < 0) return kAsnNoRoom;

  const AsnNode childRoot = *c;  // the child may be the parent itself, which grow() changes
  const std::int32_t newOffset = p->contentsOffset + p->contentsLength + header;
  std::memmove(pb.data + newOffset, cb.data + childRoot.contentsOffset,
               static_cast<std::size_t>(childRoot.contentsLength));
  // A subtree's nodes lie side by side in pre-order in both blocks, so they move as one run.
  pb.lowestSlot = static_cast<std::uint16_t>(pb.lowestSlot - count);
  moveNodes(pb, &pb.node(static_cast<std::uint16_t>(pb.lowestSlot + count - 1)), c, count,
            newOffset - childRoot.contentsOffset);
  grow(pb, *p, childRoot, count, header, room);
  return 0;
}

int asnAppendPair(const Asn& parent, int cls, std::int32_t tag, int type, const Asn& first,
                  const Asn& second) {
  AsnNode* p = nodeOf(parent);
  if (p == nullptr || parent.block()->status != kAsnComplete) return kAsnNoRoom;
  if (!(p->flags & kFlagConstructed) || p->parent != 0) return kAsnNoRoom;
  AsnBlock& pb = *parent.block();

  // The pair's root as a sequence built from the two would hold it.
  AsnNode pair{};
  pair.type = type;
  pair.cls = cls;
  pair.tag = tag;
  pair.flags = kFlagConstructed;
  const Asn* parts[2] = {&first, &second};
  std::uint8_t headers[2][kMaxTagOctets + 5];
  int headerOctets[2];
  for (int k = 0; k < 2; ++k) {
    const AsnNode* c = nodeOf(*parts[k]);
    if (c == nullptr || parts[k]->block()->status != kAsnComplete) return kAsnNoRoom;
    const int t = encodeTag(*c, headers[k], kMaxTagOctets);
    const int l = encodeLength(*c, headers[k] + t, 5);
    if (t == 0 || l == 0) return kAsnNoRoom;
    headerOctets[k] = t + l;
    pair.descendants = static_cast<std::uint16_t>(pair.descendants + c->descendants + 1);
    pair.contentsLength += headerOctets[k] + c->contentsLength;
    pair.valueLength += c->valueLength;
  }
  pair.encodedSize = pair.contentsLength;

  const int count = pair.descendants + 1;
  std::int32_t header = 0;
  const int room = placeHeader(pb, *p, pair, count, &header);
  if (room < 0) return kAsnNoRoom;
  const std::int32_t at = p->contentsOffset + p->contentsLength;
  pair.contentsOffset = at + header;
  pair.parent = pb.rootSlot;
  pb.lowestSlot = static_cast<std::uint16_t>(pb.lowestSlot - count);
  AsnNode* to = &pb.node(static_cast<std::uint16_t>(pb.lowestSlot + count - 1));
  to[0] = pair;
  std::int32_t position = pair.contentsOffset;
  int placed = 1;
  for (int k = 0; k < 2; ++k) {
    const AsnBlock& cb = *parts[k]->block();
    const AsnNode& c = *nodeOf(*parts[k]);
    const int n = c.descendants + 1;
    std::memcpy(pb.data + position, headers[k], static_cast<std::size_t>(headerOctets[k]));
    position += headerOctets[k];
    std::memmove(pb.data + position, cb.data + c.contentsOffset,
                 static_cast<std::size_t>(c.contentsLength));
    moveNodes(pb, to + placed, &c, n, position - c.contentsOffset);
    placed += n;
    position += c.contentsLength;
  }

  grow(pb, *p, pair, count, header, room);
  return 0;
}

Asn asnComponent(const Asn& value, std::uint16_t index) {
  AsnNode* node = nodeOf(value);
  if (node == nullptr || index > node->descendants) return nullptr;
  ++value.block()->references;
  return Asn(value.block(), static_cast<std::uint16_t>(value.slot() - index));
}

Asn asnFree(Asn& value) {
  value = nullptr;
  return nullptr;
}

int asnEncode(const Asn& value, std::uint8_t* buffer, int size) {
  AsnNode* node = nodeOf(value);
  if (node == nullptr || value.block()->status != kAsnComplete) return -1;
  if (buffer == nullptr) return -1;
  const int tagOctets = encodeTag(*node, buffer, size);
  if (tagOctets == 0) return -1;
  const int lengthOctets = encodeLength(*node, buffer + tagOctets, size - tagOctets);
  if (lengthOctets == 0) return -1;
  const int header = tagOctets + lengthOctets;
  if (node->contentsLength > size - header) return -1;
  std::memcpy(buffer + header, value.block()->data + node->contentsOffset,
              static_cast<std::size_t>(node->contentsLength));
  return header + node->contentsLength;
}

int asnEncodeTag(const Asn& value, std::uint8_t* out, int room) {
  AsnNode* node = nodeOf(value);
  return node != nullptr && out != nullptr ? encodeTag(*node, out, room) : 0;
}

int asnEncodeLength(const Asn& value, std::uint8_t* out, int room) {
  AsnNode* node = nodeOf(value);
  return node != nullptr && out != nullptr ? encodeLength(*node, out, room) : 0;
}

// ---- Accessors ----

std::int32_t asnTag(const Asn& value) {
  AsnNode* node = nodeOf(value);
  return node != nullptr ? node->tag : 0;
}

int asnClass(const Asn& value) {
  AsnNode* node = nodeOf(value);
  return node != nullptr ? node->cls : 0;
}

int asnType(const Asn& value) {
  AsnNode* node = nodeOf(value);
  return node != nullptr ? node->type : 0;
}

std::int32_t asnLength(const Asn& value) {
  AsnNode* node = nodeOf(value);
  return node != nullptr ? node->valueLength : 0;
}

std::uint16_t asnSons(const Asn& value) {
  AsnNode* node = nodeOf(value);
  return node != nullptr ? node->descendants : 0;
}

int asnConstructor(const Asn& value) {
  AsnNode* node = nodeOf(value);
  return node != nullptr ? node->flags & kFlagConstructed : 0;
}

const std::uint8_t* asnValue(const Asn& value) {
  AsnNode* node = nodeOf(value);
  if (node == nullptr || (node->flags & kFlagConstructed)) return nullptr;
  return value.block()->data + node->contentsOffset;
}

int asnContents(const Asn& value, std::uint8_t* buffer, int maximum) {
  AsnNode* node = nodeOf(value);
  if (node == nullptr) return -1;
  AsnBlock& block = *value.block();
  // Of an unfinished tree only values already closed: the lengths of open ones may reach
  // past the bytes received.
  if (block.status != kAsnComplete && !(node->flags & kFlagClosed)) return -1;
  std::int64_t total = 0;
  for (int i = 0; i <= node->descendants; ++i) {
    const AsnNode& n = block.node(static_cast<std::uint16_t>(value.slot() - i));
    if (n.flags & kFlagConstructed) continue;
    if (total + n.contentsLength > maximum) return -1;
    if (n.contentsLength > 0) {
      std::memcpy(buffer + total, block.data + n.contentsOffset,
                  static_cast<std::size_t>(n.contentsLength));
    }
    total += n.contentsLength;
  }
  return static_cast<int>(total);
}

std::uint32_t asnNumber(const std::uint8_t* bytes, int count) {
  if (bytes == nullptr || count <= 0) return 0;
  std::uint32_t number = bytes[0];
  for (int i = 1; i < count; ++i) number = (number << 8) + bytes[i];
  return number;
}

int asnFreeBytes(const Asn& value) {
  return value.block() != nullptr ? value.block()->freeBytes : -1;
}

// ---- Incremental decoder ----

namespace {

// The state that reads the contents of a value of each grammar kind.
constexpr AsnState asnFnTbl[8] = {
    AsnState::Type0, AsnState::Integer0, AsnState::OctetString0, AsnState::ObjectId0,
    AsnState::Seq,   AsnState::SeqOf,    AsnState::Null,         AsnState::Type0,
};

AsnState stateFor(const AslNode* grammar) {
  return asnFnTbl[grammar->kind & 7];
}

// Opens a value expected as `grammar` inside the current one.
int push(AsnBlock& block, const AslNode* grammar) {
  if (block.freeBytes < kAsnNodeCost) return kAsnNoRoom;
  if (block.lowestSlot <= block.rootSlot + 1 - block.nodeCapacity) return kAsnNoRoom;
  block.freeBytes -= kAsnNodeCost;
  AsnNode& parent = block.node(block.current);
  const std::uint16_t slot = --block.lowestSlot;
  AsnNode& node = *new (&block.node(slot)) AsnNode{};
  ++block.depth;
  ++parent.descendants;
  node.parent = block.current;
  node.grammar = grammar;
  node.budget = parent.budget;
  if (node.budget != kUnbounded && (parent.flags & kFlagIndefinite)) {
    node.budget -= kEndOfContentsOctets;
  }
  if (parent.grammar->next == nullptr && (parent.flags & kFlagExactEnd)) {
    node.flags = kFlagExactEnd;
  }
  block.state = stateFor(grammar);
  block.current = slot;
  block.pending = nullptr;
  return kAsnMore;
}

// Closes the current value and hands control back to its parent.
int pop(AsnBlock& block) {
  AsnNode& node = block.node(block.current);
  node.encodedSize += node.contentsLength;
  node.endPosition = 0;
  node.flags |= kFlagClosed;
  block.pending = node.grammar->next;
  if (node.parent != 0) {
    AsnNode& parent = block.node(node.parent);
    block.state = stateFor(parent.grammar);
    if (parent.flags & kFlagIndefinite) parent.contentsLength += node.encodedSize;
    parent.valueLength += node.valueLength;
    parent.descendants = static_cast<std::uint16_t>(parent.descendants + node.descendants);
    if (parent.budget != kUnbounded) parent.budget -= node.encodedSize;
    block.current = node.parent;
  }
  --block.depth;
  return kAsnMore;
}

// A decoded length must meet the grammar's minimum, leave room for what must
// follow inside the enclosing value, and fill it exactly where required.
bool lengthFits(const AsnNode& node, std::int64_t length) {
  const AslNode* grammar = node.grammar;
  switch (grammar->kind) {
    case kAsnSequence:
      if (grammar->son->minLen > length) return false;
      break;
    case kAsnSequenceOf:
      if (length != 0 && grammar->son->minLen > length) return false;
      break;
    default:
      if (grammar->minLen > length) return false;
  }
  const AslNode* next = grammar->next;
  const int follow = next != nullptr ? next->minLen : 0;
  if (node.budget == kUnbounded) return true;
  if (node.encodedSize + length + follow > node.budget) return false;
  if ((node.flags & kFlagExactEnd) && next == nullptr && node.encodedSize + length != node.budget) {
    return false;
  }
  return true;
}

void startDefinite(AsnBlock& block, AsnNode& node, std::int32_t length) {
  node.endPosition = static_cast<std::int64_t>(block.bytesReceived) + length;
  node.type = node.grammar->kind;
  node.contentsOffset = block.bytesReceived;
  node.contentsLength = length;
  node.budget = length;
  block.state = stateFor(node.grammar);
  block.pending = node.grammar->son;
}

// One event (a byte, or kEndEvent) for the current value.
int step(AsnBlock& block, int event) {
  AsnNode& node = block.node(block.current);
  const bool end = event == kEndEvent;
  switch (block.state) {
    case AsnState::Type0: {
      if (end || event == 0) return kAsnSyntax;
      ++node.encodedSize;
      const AslNode* choice = aslChoice(node.grammar, event);
      if (choice == nullptr) return kAsnSyntax;
      if (node.budget != kUnbounded && choice->minLen > node.budget) return kAsnSyntax;
      node.grammar = choice;
      node.cls = event >> 6;
      if (event & 0x20) node.flags |= kFlagConstructed;
      node.tag = event & 0x1F;
      block.state = AsnState::Len0;
      return kAsnMore;
    }
    case AsnState::Len0: {
      if (end || event == 0xFF) return kAsnSyntax;
      ++node.encodedSize;
      if (event <= 0x7F) {
        if (!lengthFits(node, event)) return kAsnSyntax;
        node.flags |= kFlagExactEnd;
        startDefinite(block, node, event);
        return kAsnMore;
      }
      if (event > 0x80) {
        const int octets = event & 0x7F;
        if (octets > 4) return kAsnSyntax;
        if (node.budget != kUnbounded &&
            static_cast<std::int64_t>(node.encodedSize) + node.grammar->minLen + octets >
                node.budget) {
          return kAsnSyntax;
        }
        node.flags |= kFlagExactEnd;
        block.lengthBitsPending = 8 * octets;
        block.state = AsnState::Len1;
        return kAsnMore;
      }
      // Indefinite length: constructed values only, closed by 00 00.
      if (!(node.flags & kFlagConstructed)) return kAsnSyntax;
      if (node.budget != kUnbounded) {
        node.budget -= node.encodedSize;
        // Without room for its end-of-contents octets the value would overrun its parent.
        if (node.budget < kEndOfContentsOctets) return kAsnSyntax;
      }
      node.flags |= kFlagIndefinite;
      node.type = node.grammar->kind;
      node.contentsOffset = block.bytesReceived;
      block.state = stateFor(node.grammar);
      block.pending = node.grammar->son;
      return kAsnMore;
    }
    case AsnState::Len1: {
      if (end) return kAsnSyntax;
      ++node.encodedSize;
      block.lengthBitsPending -= 8;
      const auto length =
          static_cast<std::int32_t>((static_cast<std::uint32_t>(event) << block.lengthBitsPending) |
                                    static_cast<std::uint32_t>(node.contentsLength));
      if (node.budget != kUnbounded &&
          static_cast<std::int64_t>(node.encodedSize) + length > node.budget) {
        return kAsnSyntax;
      }
      if (block.lengthBitsPending > 0) {
        node.contentsLength = length;
        return kAsnMore;
      }
      if (!lengthFits(node, length)) return kAsnSyntax;
      startDefinite(block, node, length);
      return kAsnMore;
    }
    case AsnState::Integer0:
      node.valueLength = node.contentsLength;
      if (end) return kAsnSyntax;  // an integer needs at least one byte
      block.state = AsnState::Integer1;
      return kAsnMore;
    case AsnState::Integer1: {
      if (end) return pop(block);
      // The first nine bits may not be all zero or all one.
      const std::uint8_t first = block.data[node.contentsOffset];
      if ((first == 0x00 && !(event & 0x80)) || (first == 0xFF && (event & 0x80))) {
        return kAsnSyntax;
      }
      block.state = AsnState::Integer2;
      return kAsnMore;
    }
    case AsnState::Integer2:
      return end ? pop(block) : kAsnMore;
    case AsnState::OctetString0:
      node.valueLength = node.contentsLength;
      if (end) return pop(block);
      block.state = AsnState::Integer2;
      return kAsnMore;
    case AsnState::ObjectId0:
      node.valueLength = node.contentsLength;
      if (end) return pop(block);
      block.state = AsnState::ObjectId1;
      return kAsnMore;
    case AsnState::ObjectId1:
      if (!end) return kAsnMore;
      if (block.data[node.contentsOffset + node.contentsLength - 1] & 0x80) return kAsnSyntax;
      return pop(block);
    case AsnState::Null:
      node.valueLength = 0;
      return end ? pop(block) : kAsnSyntax;
    case AsnState::Seq:
      if (block.pending != nullptr) {
        const int status = push(block, block.pending);
        return status != kAsnMore ? status : step(block, event);
      }
      if (end) return (node.flags & kFlagIndefinite) ? kAsnSyntax : pop(block);
      if (event == 0 && (node.flags & kFlagIndefinite)) {
        ++node.encodedSize;
        block.state = AsnState::Eoc1;
        return kAsnMore;
      }
      return kAsnSyntax;  // no further field expected
    case AsnState::SeqOf: {
      if (end) return pop(block);
      if (event == 0) {
        if (!(node.flags & kFlagIndefinite)) return kAsnSyntax;
        ++node.encodedSize;
        block.state = AsnState::Eoc1;
        return kAsnMore;
      }
      const int status = push(block, node.grammar->son);
      return status != kAsnMore ? status : step(block, event);
    }
    case AsnState::Eoc1:
      if (end || event != 0) return kAsnSyntax;
      ++node.encodedSize;
      return pop(block);
  }
  return kAsnSyntax;
}

}  // namespace

void* asnInit(void* any) {
  return any;
}

Asn asnNew(const void* any) {
  const AslNode* grammar = aslLanguage(any);
  if (grammar == nullptr) return nullptr;
  AsnBlock* block = blockNew(kAsnBlockSize, true);
  if (block == nullptr) return nullptr;
  block->grammar = grammar;
  block->status = kAsnMore;
  block->state = stateFor(grammar);
  block->depth = 1;
  AsnNode& root = block->root();
  root.grammar = grammar;
  root.budget = kUnbounded;
  root.endPosition = -1;
  return Asn(block, block->rootSlot);
}

int asnDecode(const Asn& root, int byte) {
  const auto octet = static_cast<std::uint8_t>(byte);
  int used = 0;
  return asnDecodeBytes(root, &octet, 1, &used);
}

int asnDecodeBytes(const Asn& root, const std::uint8_t* bytes, int count, int* used) {
  *used = 0;
  AsnBlock* block = root.block();
  if (block == nullptr) {
    snmpCount(snmpInASNParseErrs);
    return kAsnNoRoom;
  }
  int status = block->status;
  if (status != kAsnMore) {
    snmpCount(snmpInASNParseErrs);
    return status;
  }
  int i = 0;
  while (i < count) {
    if (block->freeBytes <= 0) {
      status = kAsnNoRoom;
      ++i;
      break;
    }
    const AsnState state = block->state;
    if (state == AsnState::Integer2 || state == AsnState::ObjectId1 ||
        state == AsnState::OctetString0 || state == AsnState::ObjectId0) {
      // Contents bytes that decide nothing until the value's last byte go in one copy, with
      // the effect of the first one where that is the contents' first.
      AsnNode& node = block->node(block->current);
      const std::int64_t left = node.endPosition - block->bytesReceived;
      if (left > 1) {
        if (state == AsnState::OctetString0 || state == AsnState::ObjectId0) {
          node.valueLength = node.contentsLength;
          block->state = state == AsnState::OctetString0 ? AsnState::Integer2 : AsnState::ObjectId1;
        }
        const int run = static_cast<int>(std::min<std::int64_t>(
            {left - 1, count - i, static_cast<std::int64_t>(block->freeBytes)}));
        std::memcpy(block->data + block->bytesReceived, bytes + i, static_cast<std::size_t>(run));
        block->freeBytes -= run;
        block->bytesReceived += run;
        i += run;
        continue;
      }
    }
    --block->freeBytes;
    block->data[block->bytesReceived++] = bytes[i++];
    status = step(*block, bytes[i - 1]);
    // Several values may end at the same byte: close them innermost first.
    while (status == kAsnMore && block->node(block->current).endPosition == block->bytesReceived) {
      status = step(*block, kEndEvent);
    }
    if (status == kAsnMore && block->depth == 0) status = kAsnComplete;
    if (status != kAsnMore) break;
  }
  *used = i;
  block->status = status;
  if (status == kAsnSyntax || status == kAsnNoRoom) snmpCount(snmpInASNParseErrs);
  return status;
}
