#include "BaseClasses/FastSet.h"

#include <new>

#include "BaseClasses/ErrorHandling.h"

namespace {
const char* const kSource = "FastSet";
}

FastSet::FastSet() : is_vec_rep(false), tree(new std::set<int>), vec(nullptr), numElements(0) {}

FastSet::FastSet(const FastSet& other) : is_vec_rep(false), tree(nullptr), vec(nullptr), numElements(0) {
  copyFrom(other);
}

FastSet& FastSet::operator=(const FastSet& other) {
  if (this != &other) copyFrom(other);
  return *this;
}

FastSet::~FastSet() = default;

void FastSet::copyFrom(const FastSet& other) {
  is_vec_rep = other.is_vec_rep;
  numElements = other.numElements;
  tree.reset(other.tree ? new std::set<int>(*other.tree) : nullptr);
  vec.reset();
  if (other.vec) {
    vec.reset(new int[numElements]);
    for (int32_t i = 0; i < numElements; i++) vec[i] = other.vec[i];
  }
}

bool FastSet::insert(const int& v) {
  SAN_ASSERT(!is_vec_rep, "!is_vec_rep", kSource);
  return tree->insert(v).second;
}

bool FastSet::find(const int& v) const {
  SAN_ASSERT(!is_vec_rep, "!is_vec_rep", kSource);
  return tree->count(v) != 0;
}

bool FastSet::empty() const {
  SAN_ASSERT(!is_vec_rep, "!is_vec_rep", kSource);
  return tree->empty();
}

int* FastSet::NoMoreModifications() {
  SAN_ASSERT(!is_vec_rep, "!is_vec_rep", kSource);
  int32_t count = static_cast<int32_t>(tree->size());
  if (count > 0) {
    vec.reset(new (std::nothrow) int[count]);
    if (!vec) MemoryAllocationError();
    int32_t i = 0;
    for (int v : *tree) vec[i++] = v;
  }
  tree.reset();
  numElements = count;
  is_vec_rep = true;
  return vec.get();
}

int FastSet::size() const {
  SAN_ASSERT(is_vec_rep, "is_vec_rep", kSource);
  return numElements;
}

int& FastSet::operator[](int i) {
  SAN_ASSERT(is_vec_rep, "is_vec_rep", kSource);
  return vec[i];
}

void FastSet::clear() {
  if (is_vec_rep) {
    vec.reset();
    numElements = 0;
  } else {
    tree->clear();
  }
}
