#include "BaseClasses/State.h"

#include <new>

#include "BaseClasses/ErrorHandling.h"

State::State(int32_t newSize) : size(newSize > 0 ? newSize : 0) {
  // Zeroed, so two images of the same state compare equal byte for byte.
  char* bytes = new (std::nothrow) char[static_cast<size_t>(size)]();
  if (bytes == nullptr) MemoryAllocationError();
  data.reset(bytes);
}

State::~State() = default;
