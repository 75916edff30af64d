#include "mib/mix.hpp"

#include <cstring>
#include <new>

#include "mib/avl.hpp"
#include "mib/val.hpp"

namespace {

constexpr int kCarrierClass = kAsnApplication;
constexpr int kCarrierTag = 153;
constexpr int kCarrierBytes = 16;
static_assert(sizeof(const MixOps*) + sizeof(void*) <= kCarrierBytes);

}  // namespace

// The index owns its tree and every entry in it; the entries keep the
// registrants' OID bytes by reference.
struct Mix {
  Avl* tree = nullptr;
};

namespace {

Mix* mixAlloc() {
  return new (std::nothrow) Mix{};
}

void freeEntries(AvlNode* node) {
  if (node == nullptr) return;
  freeEntries(node->child[kAvlLess]);
  freeEntries(node->child[kAvlGreater]);
  delete static_cast<MixEntry*>(node->item);
}

MixEntry* entryAt(const Mix* index, const std::uint8_t* oid, int length) {
  return static_cast<MixEntry*>(avlFind(index->tree, oid, length));
}

int mixCreateNode(Mix* index, const std::uint8_t* oid, int length, const Asn& carrier) {
  // A prefix longer than the engine's name buffer could never be walked into.
  if (oid == nullptr || length <= 0 || length > kMixOidBuffer || !carrier) return kSnmpGenErr;
  if (asnClass(carrier) != kCarrierClass || asnTag(carrier) != kCarrierTag) return kSnmpGenErr;
  std::uint8_t bytes[kCarrierBytes];
  if (asnContents(carrier, bytes, kCarrierBytes) != kCarrierBytes) return kSnmpGenErr;
  // The new prefix must not cover an existing one either: the lookups would
  // then depend on the tree's shape and GetNext could walk backwards.
  const auto* after = static_cast<const MixEntry*>(avlCessor(index->tree, oid, length));
  if (after != nullptr && after->oidLength > length && std::memcmp(after->oid, oid, length) == 0) {
    return kSnmpGenErr;
  }
  auto* entry = new (std::nothrow) MixEntry{};
  if (entry == nullptr) return kSnmpGenErr;
  std::memcpy(&entry->operations, bytes, sizeof entry->operations);
  std::memcpy(&entry->object, bytes + sizeof entry->operations, sizeof entry->object);
  entry->oidLength = length;
  entry->oid = oid;
  if (avlInsert(index->tree, oid, length, entry) != 0) {
    delete entry;
    return kSnmpGenErr;
  }
  return 0;
}

}  // namespace

void* mixInit(void* any) {
  return any;
}

Mix* mixNew() {
  Avl* tree = avlNew(mixCmp, nullptr);
  if (tree == nullptr) return nullptr;
  Mix* index = mixAlloc();
  if (index == nullptr) {
    avlFree(tree);
    return nullptr;
  }
  index->tree = tree;
  return index;
}

int mixFree(Mix* index) {
  if (index == nullptr) return 0;
  if (index->tree != nullptr) {
    freeEntries(index->tree->head.child[kAvlGreater]);
    avlFree(index->tree);
  }
  delete index;
  return 0;
}

// Only ever handed to mixCreate inside this process, so raw pointers in the
// contents are fine.
Asn mixValue(const MixOps* operations, void* object) {
  std::uint8_t bytes[kCarrierBytes] = {};
  std::memcpy(bytes, &operations, sizeof operations);
  std::memcpy(bytes + sizeof operations, &object, sizeof object);
  return asnOctetString(kCarrierClass, kCarrierTag, bytes, kCarrierBytes);
}

int mixCreate(Mix* index, const std::uint8_t* oid, int length, const Asn& carrier) {
  if (index == nullptr) return kSnmpGenErr;
  if (MixEntry* entry = entryAt(index, oid, length)) {
    return entry->operations->create(entry->object, oid + entry->oidLength,
                                     length - entry->oidLength, carrier);
  }
  return mixCreateNode(index, oid, length, carrier);
}

Asn mixGet(Mix* index, const std::uint8_t* oid, int length) {
  if (index == nullptr) return nullptr;
  MixEntry* entry = entryAt(index, oid, length);
  if (entry == nullptr) return nullptr;
  return entry->operations->get(entry->object, oid + entry->oidLength, length - entry->oidLength);
}

int mixSet(Mix* index, const std::uint8_t* oid, int length, const Asn& value) {
  if (index == nullptr) return kSnmpGenErr;
  MixEntry* entry = entryAt(index, oid, length);
  if (entry == nullptr) return kSnmpNoSuchName;
  return entry->operations->set(entry->object, oid + entry->oidLength, length - entry->oidLength,
                                value);
}

int mixDestroy(Mix* index, const std::uint8_t* oid, int length) {
  if (index == nullptr) return kSnmpGenErr;
  MixEntry* entry = entryAt(index, oid, length);
  if (entry == nullptr) return kSnmpNoSuchName;
  return entry->operations->destroy(entry->object, oid + entry->oidLength,
                                    length - entry->oidLength);
}

Asn mixNext(Mix* index, std::uint8_t* buffer, int* length) {
  if (index == nullptr) return nullptr;
  int s = 0;
  if (MixEntry* entry = entryAt(index, buffer, *length)) {
    s = *length - entry->oidLength;
    Asn value = entry->operations->next(entry->object, buffer + entry->oidLength, &s);
    if (value) {
      *length = entry->oidLength + s;
      return value;
    }
  }
  // Each pass leaves the previous entry's prefix in the buffer, so the
  // successor search moves on to the entry after it.
  Asn value;
  const MixEntry* entry;
  do {
    entry = static_cast<const MixEntry*>(avlCessor(index->tree, buffer, *length));
    if (entry == nullptr) break;
    std::memcpy(buffer, entry->oid, entry->oidLength);
    *length = entry->oidLength;
    s = 0;
    value = entry->operations->next(entry->object, buffer + entry->oidLength, &s);
  } while (!value);
  if (value) *length += s;
  return value;
}

int mixCmp(const void* item, const std::uint8_t* key, int length) {
  const auto* entry = static_cast<const MixEntry*>(item);
  int n = length < entry->oidLength ? length : entry->oidLength;
  for (int i = 0; i < n; ++i) {
    if (key[i] != entry->oid[i]) return key[i] < entry->oid[i] ? kAvlLess : kAvlGreater;
  }
  return length >= entry->oidLength ? kAvlMatch : kAvlLess;
}
