#pragma once
// Buffers for file reads begin on a cache line: the system copies a read
// into such a buffer several times faster than into one that begins just
// past it, as a large block from the heap does.
#include <cstddef>
#include <cstdint>

namespace picrelink {

inline constexpr size_t kCacheLineBytes = 64;
inline constexpr size_t kCacheLineUnits = kCacheLineBytes / sizeof(char16_t);

// The first unit at or after units that begins a cache line; a buffer needs
// kCacheLineUnits units of room more than it uses for it.
inline char16_t* AlignedToCacheLine(char16_t* units) {
  const auto address = reinterpret_cast<uintptr_t>(units);
  const uintptr_t misalignment = address % kCacheLineBytes;
  return misalignment == 0 ? units : units + (kCacheLineBytes - misalignment) / sizeof(char16_t);
}

}  // namespace picrelink
