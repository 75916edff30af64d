// Height-balanced binary search tree of caller-owned items, searched with a
// caller-supplied comparison between a stored item and a key (bytes plus a
// length). Nodes have no parent links: every walk records its way down in a
// fixed local path and rebalances from it.
#pragma once

#include <cstdint>
#include <memory>

// Comparison results, also the child slots and the balance codes of a node.
enum AvlDirection : int {
  kAvlMatch = 0,    // the key selects this item
  kAvlLess = 1,     // the key sorts before the item
  kAvlGreater = 2,  // the key sorts after the item
};

// compare(stored item, key bytes, key length) -> AvlDirection.
using AvlCompare = int (*)(const void* item, const std::uint8_t* key, int length);

struct AvlNode {
  void* item;
  std::int32_t balance;  // 0 even, 1 less side taller, 2 greater side taller
  AvlNode* child[3];     // indexed by direction; child[0] is never used
};

// The tree: a head node whose greater side holds the root.
struct Avl {
  AvlNode head;
  AvlCompare compare;
};

inline constexpr int kAvlPathSteps = 62;  // more than any tree that fits in memory

void* avlInit(void* any);
// `less` becomes the head's less-side child; the tree owns it from then on.
Avl* avlNew(AvlCompare compare, AvlNode* less);
void* avlFind(const Avl* tree, const std::uint8_t* key, int length);
void* avlCessor(const Avl* tree, const std::uint8_t* key, int length);
int avlInsert(Avl* tree, const std::uint8_t* key, int length, void* item);
int avlRemove(Avl* tree, const std::uint8_t* key, int length);
int avlFree(Avl* tree);
int avlFree(AvlNode* node);

struct AvlDeleter {
  void operator()(Avl* tree) const noexcept { avlFree(tree); }
};
using AvlTree = std::unique_ptr<Avl, AvlDeleter>;
