// Copies of typed values and arrays to and from raw saved-state memory, for
// generated code. Byte copies in machine representation; the raw side needs
// no alignment.
#pragma once

#include <cstring>
#include <type_traits>

template <class T>
void writeArray(T* src, void* dst, int n) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (n > 0) std::memcpy(dst, src, sizeof(T) * static_cast<size_t>(n));
}

template <class T>
void readArray(T* dst, void* src, int n) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (n > 0) std::memcpy(dst, src, sizeof(T) * static_cast<size_t>(n));
}

template <class T>
void writeMemory(T value, void* dst) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(dst, &value, sizeof(T));
}

template <class T>
void readMemory2(void* src, T* out) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(out, src, sizeof(T));
}
