// FastSet: a set of ints filled while the model is set up (tree mode), then
// frozen by NoMoreModifications into an ascending array read by index
// during the run (vector mode). Each operation belongs to one mode; calling
// it in the other is a fatal assertion. Owns whichever representation it
// holds.
#pragma once

#include <cstdint>
#include <memory>
#include <set>

class FastSet {
 public:
  FastSet();
  FastSet(const FastSet& other);
  FastSet& operator=(const FastSet& other);
  ~FastSet();

  // Tree mode.
  bool insert(const int& v);  // true when v was added
  bool find(const int& v) const;
  bool empty() const;
  int* NoMoreModifications();  // the frozen array, null when empty

  // Vector mode.
  int size() const;
  int& operator[](int i);  // i-th smallest element; no bounds check

  // Either mode; the set stays in its mode.
  void clear();

  bool isFrozen() const { return is_vec_rep; }

 private:
  void copyFrom(const FastSet& other);

  // Mode: false while building (tree valid), true once frozen (vec valid).
  bool is_vec_rep;
  // Tree mode: the elements, ascending, no duplicates; null in vector mode.
  std::unique_ptr<std::set<int>> tree;
  // Vector mode: numElements ints ascending; null when frozen empty.
  std::unique_ptr<int[]> vec;
  int32_t numElements;  // meaningful in vector mode only
};
