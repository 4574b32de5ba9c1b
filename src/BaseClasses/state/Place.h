// Place: the marking of a SAN place, a shareable 16-bit signed value. Models
// read and write the marking through Mark, which is a registered pointer and
// so always points at the sharing group's cell.
#pragma once

#include "BaseClasses/state/SharableSV.h"

extern template class SharableSV<short>;

class Place : public SharableSV<short> {
 public:
  Place();
  explicit Place(const char* placeName);
  Place(const char* placeName, short initialMarking);

  short getMark() const { return *Mark; }
  void setMark(short marking) { *Mark = marking; }
  void test() {}

  short* Mark;  // the group's cell; follows every merge
};
