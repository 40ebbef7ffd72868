// Memory on a cache-line boundary for the per-block arrays.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace kinetra {

inline constexpr std::size_t kCacheLine = 64;

// At least bytes (one when bytes is 0), zeroed, starting on a 64-byte boundary; free it with
// std::free. Null when there is no memory. The per-block loops use 256-bit loads and stores,
// which cost twice as much on some processors (Zen 4) when they straddle a 32-byte boundary.
// Thread: any.
inline void* AllocateCacheLines(std::size_t bytes) {
    const std::size_t size = ((bytes == 0 ? 1 : bytes) + kCacheLine - 1) / kCacheLine * kCacheLine;
    void* memory = std::aligned_alloc(kCacheLine, size);
    if (memory != nullptr) std::memset(memory, 0, size);
    return memory;
}

}  // namespace kinetra
