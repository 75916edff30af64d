#include "mib/avl.hpp"

#include <new>

namespace {

// The way down from the root, steps numbered from 1. Lives in one operation's
// frame, so no operation allocates for bookkeeping.
struct AvlPath {
  int count = 0;
  AvlNode* node[kAvlPathSteps + 1];
  int dir[kAvlPathSteps + 1];
};

AvlNode* avlAllocNode() {
  return new (std::nothrow) AvlNode{};
}

void avlFreeNode(AvlNode* node) {
  delete node;
}

void avlSavePath(AvlPath& path, AvlNode* node, int dir) {
  ++path.count;
  path.node[path.count] = node;
  path.dir[path.count] = dir;
}

constexpr int opposite(int dir) {
  return 3 - dir;
}

// The matching node is not recorded; falling off the tree leaves the whole
// way down in the path.
AvlNode* avlSearchNode(const Avl* tree, AvlNode* start, AvlPath& path, const std::uint8_t* key,
                       int length) {
  AvlNode* node = start;
  while (node != nullptr) {
    int result = tree->compare(node->item, key, length);
    if (result == kAvlMatch) return node;
    avlSavePath(path, node, result);
    node = node->child[result];
  }
  return nullptr;
}

AvlNode* avlCessorNode(AvlNode* found, AvlPath& path) {
  if (found != nullptr && found->child[kAvlGreater] != nullptr) {
    avlSavePath(path, found, kAvlGreater);
    AvlNode* node = found->child[kAvlGreater];
    while (node->child[kAvlLess] != nullptr) {
      avlSavePath(path, node, kAvlLess);
      node = node->child[kAvlLess];
    }
    return node;
  }
  // The nearest ancestor we left on its less side.
  int k = path.count;
  while (k >= 1 && path.dir[k] == kAvlGreater) --k;
  if (k == 0) {
    path.count = 0;
    return nullptr;
  }
  path.count = k - 1;
  return path.node[k];
}

// Puts `node` where the path's last step hangs: the root for step 1.
void avlChangeHead(Avl* tree, AvlPath& path, AvlNode* node) {
  if (path.count <= 1) {
    tree->head.child[kAvlGreater] = node;
  } else {
    path.node[path.count - 1]->child[path.dir[path.count - 1]] = node;
  }
}

// One rotation step: N[b] is on N[a]'s D[a] side (or below it).
void avlExchange(AvlPath& path, int a, int b) {
  int d = path.dir[a];
  path.node[a]->child[d] = path.node[b]->child[opposite(d)];
  path.node[b]->child[opposite(d)] = path.node[a];
}

// Rotation at step i after an insertion made N[i]'s taller side taller still.
void avlCriticalNode(Avl* tree, AvlPath& path, int i) {
  AvlNode* a = path.node[i];
  AvlNode* b = path.node[i + 1];
  AvlNode* c = path.node[i + 2];
  path.count = i;
  if (path.dir[i] == path.dir[i + 1]) {
    avlChangeHead(tree, path, b);
    avlExchange(path, i, i + 1);
    a->balance = 0;
    b->balance = 0;
    return;
  }
  avlChangeHead(tree, path, c);
  avlExchange(path, i, i + 2);
  avlExchange(path, i + 1, i + 2);
  c->balance = 0;
  if (path.dir[i + 2] == path.dir[i + 1]) {
    a->balance = 0;
    b->balance = opposite(path.dir[i + 1]);
  } else if (path.dir[i + 2] != 0) {
    a->balance = opposite(path.dir[i]);
    b->balance = 0;
  } else {
    a->balance = 0;
    b->balance = 0;
  }
}

}  // namespace

void* avlInit(void* any) {
  return any;
}

Avl* avlNew(AvlCompare compare, AvlNode* less) {
  Avl* tree = new (std::nothrow) Avl{};
  if (tree == nullptr) return nullptr;
  tree->compare = compare;
  tree->head.child[kAvlLess] = less;
  return tree;
}

void* avlFind(const Avl* tree, const std::uint8_t* key, int length) {
  if (tree == nullptr) return nullptr;
  AvlPath path;
  AvlNode* found = avlSearchNode(tree, tree->head.child[kAvlGreater], path, key, length);
  return found != nullptr ? found->item : nullptr;
}

void* avlCessor(const Avl* tree, const std::uint8_t* key, int length) {
  if (tree == nullptr) return nullptr;
  AvlPath path;
  AvlNode* found = avlSearchNode(tree, tree->head.child[kAvlGreater], path, key, length);
  AvlNode* next = avlCessorNode(found, path);
  return next != nullptr ? next->item : nullptr;
}

int avlInsert(Avl* tree, const std::uint8_t* key, int length, void* item) {
  if (tree == nullptr || item == nullptr) return 1;
  AvlPath path;
  if (avlSearchNode(tree, tree->head.child[kAvlGreater], path, key, length) != nullptr) return 1;
  AvlNode* node = avlAllocNode();
  if (node == nullptr) return 1;
  node->item = item;
  avlSavePath(path, node, 0);
  avlChangeHead(tree, path, node);
  for (int k = path.count - 1; k >= 1; --k) {
    AvlNode* n = path.node[k];
    int d = path.dir[k];
    if (n->balance == d) {
      avlCriticalNode(tree, path, k);
      break;
    }
    if (n->balance != 0) {
      n->balance = 0;
      break;
    }
    n->balance = d;
  }
  return 0;
}

int avlRemove(Avl* tree, const std::uint8_t* key, int length) {
  if (tree == nullptr) return 1;
  AvlPath path;
  avlSavePath(path, &tree->head, kAvlGreater);
  AvlNode* found = avlSearchNode(tree, tree->head.child[kAvlGreater], path, key, length);
  if (found == nullptr) return 1;

  // Unlink the found node itself, or its successor after moving the
  // successor's item up: a leaf-ish node is always what goes.
  avlSavePath(path, found, kAvlGreater);
  AvlNode* v = found;
  if (found->child[kAvlGreater] != nullptr) {
    v = found->child[kAvlGreater];
    avlSavePath(path, v, kAvlLess);
    while (v->child[kAvlLess] != nullptr) {
      v = v->child[kAvlLess];
      avlSavePath(path, v, kAvlLess);
    }
  }
  found->item = v->item;
  int k = path.count;
  path.node[k - 1]->child[path.dir[k - 1]] = v->child[opposite(path.dir[k])];
  avlFreeNode(v);

  for (k = path.count - 1; k >= 2; --k) {
    AvlNode* p = path.node[k];
    int d = path.dir[k];  // the side that lost height
    int o = opposite(d);
    AvlNode*& link = path.node[k - 1]->child[path.dir[k - 1]];
    if (p->balance == d) {
      p->balance = 0;
      continue;
    }
    if (p->balance == 0) {
      p->balance = o;
      break;
    }
    AvlNode* s = p->child[o];
    if (s->balance == 0) {
      p->child[o] = s->child[d];
      s->child[d] = p;
      p->balance = o;
      s->balance = d;
      link = s;
      break;
    }
    if (s->balance == o) {
      p->child[o] = s->child[d];
      s->child[d] = p;
      p->balance = 0;
      s->balance = 0;
      link = s;
      continue;
    }
    AvlNode* g = s->child[d];
    p->child[o] = g->child[d];
    s->child[d] = g->child[o];
    g->child[o] = s;
    g->child[d] = p;
    if (g->balance == 0) {
      p->balance = 0;
      s->balance = 0;
    } else if (g->balance == o) {
      p->balance = d;
      s->balance = 0;
    } else {
      p->balance = 0;
      s->balance = o;
    }
    g->balance = 0;
    link = g;
  }
  return 0;
}

int avlFree(AvlNode* node) {
  if (node == nullptr) return 0;
  avlFree(node->child[kAvlLess]);
  avlFree(node->child[kAvlGreater]);
  avlFreeNode(node);
  return 0;
}

int avlFree(Avl* tree) {
  if (tree == nullptr) return 0;
  avlFree(tree->head.child[kAvlLess]);
  avlFree(tree->head.child[kAvlGreater]);
  delete tree;
  return 0;
}
