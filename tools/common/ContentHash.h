// 64-bit FNV-1a over bytes, fed in pieces: enough to tell whether two files
// carry the same content (block observations, a change of measure, a model
// file). Not a protection against deliberate collisions.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint64_t kContentHashStart = 1469598103934665603ull;

inline uint64_t HashBytes(uint64_t h, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}
