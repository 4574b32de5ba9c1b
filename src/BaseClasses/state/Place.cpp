#include "BaseClasses/state/Place.h"

template class SharableSV<short>;

Place::Place() : Place("default", 0) {}

Place::Place(const char* placeName) : Place(placeName, 0) {}

Place::Place(const char* placeName, short initialMarking) : SharableSV<short>(placeName), Mark(nullptr) {
  registerPointer(&Mark);
  *Mark = initialMarking;
}
