#include "mib/avl.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <set>
#include <vector>

namespace {

// Items are ints in one stable array; a key is an int in 4 big-endian bytes.
constexpr int kKeys = 600;
std::array<int, kKeys> gItems = [] {
  std::array<int, kKeys> a{};
  for (int i = 0; i < kKeys; ++i) a[i] = i;
  return a;
}();

struct Key {
  std::uint8_t bytes[4];
  explicit Key(int v)
      : bytes{std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)} {
  }
};

int gCompareCalls = 0;

int compareInt(const void* item, const std::uint8_t* key, int length) {
  ++gCompareCalls;
  EXPECT_EQ(length, 4);
  int k = (key[0] << 24) | (key[1] << 16) | (key[2] << 8) | key[3];
  int v = *static_cast<const int*>(item);
  return k == v ? kAvlMatch : (k < v ? kAvlLess : kAvlGreater);
}

int* item(int v) {
  return &gItems.at(v);
}
int value(const void* item) {
  return item ? *static_cast<const int*>(item) : -1;
}

int insert(Avl* t, int v) {
  return avlInsert(t, Key(v).bytes, 4, item(v));
}
int remove(Avl* t, int v) {
  return avlRemove(t, Key(v).bytes, 4);
}
int find(const Avl* t, int v) {
  return value(avlFind(t, Key(v).bytes, 4));
}
int cessor(const Avl* t, int v) {
  return value(avlCessor(t, Key(v).bytes, 4));
}

AvlNode* root(const Avl* t) {
  return t->head.child[kAvlGreater];
}

// Height of the subtree; fails the test when a balance does not match.
int checkedHeight(const AvlNode* n, std::vector<int>& inorder) {
  if (n == nullptr) return 0;
  EXPECT_EQ(n->child[0], nullptr);
  int less = checkedHeight(n->child[kAvlLess], inorder);
  inorder.push_back(value(n->item));
  int greater = checkedHeight(n->child[kAvlGreater], inorder);
  int expected = less == greater ? 0 : (less == greater + 1 ? 1 : (greater == less + 1 ? 2 : -1));
  EXPECT_EQ(n->balance, expected) << "node " << value(n->item) << " heights " << less << "/"
                                  << greater;
  return 1 + std::max(less, greater);
}

void expectSound(const Avl* t, const std::set<int>& model) {
  std::vector<int> inorder;
  checkedHeight(root(t), inorder);
  ASSERT_EQ(inorder, std::vector<int>(model.begin(), model.end()));
}

TEST(Avl, RandomOperationsMatchOrderedSet) {
  AvlTree tree(avlNew(compareInt, nullptr));
  ASSERT_NE(tree, nullptr);
  std::set<int> model;
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int> key(0, 299);
  std::uniform_int_distribution<int> op(0, 9);
  for (int step = 0; step < 12000; ++step) {
    // Bias phases so the tree both fills up and drains.
    bool growing = (step / 1500) % 2 == 0;
    int v = key(rng);
    int o = op(rng);
    bool present = model.count(v) != 0;
    if (o < (growing ? 5 : 2)) {
      ASSERT_EQ(insert(tree.get(), v), present ? 1 : 0) << "step " << step;
      model.insert(v);
    } else if (o < 6) {
      ASSERT_EQ(remove(tree.get(), v), present ? 0 : 1) << "step " << step;
      model.erase(v);
    } else if (o < 8) {
      ASSERT_EQ(find(tree.get(), v), present ? v : -1);
    } else {
      auto next = model.upper_bound(v);
      ASSERT_EQ(cessor(tree.get(), v), next == model.end() ? -1 : *next) << "key " << v;
    }
    expectSound(tree.get(), model);
    if (HasFailure()) FAIL() << "after step " << step;
  }
}

TEST(Avl, AscendingAndDescendingRunsStayBalanced) {
  for (bool ascending : {true, false}) {
    AvlTree tree(avlNew(compareInt, nullptr));
    std::set<int> model;
    for (int i = 0; i < 512; ++i) {
      int v = ascending ? i : 511 - i;
      ASSERT_EQ(insert(tree.get(), v), 0);
      model.insert(v);
    }
    expectSound(tree.get(), model);
    std::vector<int> unused;
    EXPECT_EQ(checkedHeight(root(tree.get()), unused), 10);  // 512 keys, perfectly packed
    for (int i = 0; i < 512; i += 2) {
      ASSERT_EQ(remove(tree.get(), i), 0);
      model.erase(i);
      expectSound(tree.get(), model);
    }
  }
}

TEST(Avl, RefusesDuplicateAndNullItem) {
  AvlTree tree(avlNew(compareInt, nullptr));
  ASSERT_EQ(insert(tree.get(), 5), 0);
  AvlNode* before = root(tree.get());
  int other = 5;  // a different item the comparison still matches
  EXPECT_EQ(avlInsert(tree.get(), Key(5).bytes, 4, &other), 1);
  EXPECT_EQ(root(tree.get()), before);
  EXPECT_EQ(root(tree.get())->item, item(5));
  EXPECT_EQ(before->child[kAvlLess], nullptr);
  EXPECT_EQ(before->child[kAvlGreater], nullptr);
  EXPECT_EQ(avlInsert(tree.get(), Key(6).bytes, 4, nullptr), 1);
  EXPECT_EQ(find(tree.get(), 6), -1);
}

TEST(Avl, NullTreeIsRefused) {
  Avl* none = nullptr;
  EXPECT_EQ(avlInsert(none, Key(1).bytes, 4, item(1)), 1);
  EXPECT_EQ(avlRemove(none, Key(1).bytes, 4), 1);
  EXPECT_EQ(avlFind(none, Key(1).bytes, 4), nullptr);
  EXPECT_EQ(avlCessor(none, Key(1).bytes, 4), nullptr);
  EXPECT_EQ(avlFree(none), 0);
}

TEST(Avl, SuccessorCases) {
  AvlTree tree(avlNew(compareInt, nullptr));
  EXPECT_EQ(cessor(tree.get(), 10), -1);  // empty
  for (int v : {10, 20, 30, 40, 50}) insert(tree.get(), v);
  struct Case {
    int key, next;
  } cases[] = {
      {0, 10},                       // before the smallest
      {10, 20},                      // stored key: the next stored one
      {20, 30}, {40, 50}, {25, 30},  // between two items: the larger
      {49, 50}, {50, -1},            // the largest
      {99, -1},                      // after the largest
  };
  for (const Case& c : cases) EXPECT_EQ(cessor(tree.get(), c.key), c.next) << c.key;
}

TEST(Avl, RemoveOnlyNodeEmptiesTree) {
  AvlTree tree(avlNew(compareInt, nullptr));
  insert(tree.get(), 3);
  EXPECT_EQ(remove(tree.get(), 4), 1);
  EXPECT_EQ(remove(tree.get(), 3), 0);
  EXPECT_EQ(root(tree.get()), nullptr);
  EXPECT_EQ(remove(tree.get(), 3), 1);
}

TEST(Avl, SearchComparesAtMostHeightTimes) {
  AvlTree tree(avlNew(compareInt, nullptr));
  for (int v = 0; v < 511; ++v) insert(tree.get(), v);
  for (int v : {0, 255, 510, 600}) {
    gCompareCalls = 0;
    find(tree.get(), v);
    EXPECT_LE(gCompareCalls, 9) << v;  // 511 nodes, height 9
  }
}

}  // namespace
