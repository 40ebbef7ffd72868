// Memory on a cache-line boundary for the per-block arrays.
#pragma once

#include <cstddef>

namespace kinetra {

inline constexpr std::size_t kCacheLine = 64;

// At least bytes (one when bytes is 0), zeroed, starting on a 64-byte boundary; free it with
// FreeCacheLines, as each system's aligned memory has its own free (platform/<system>/
// cache_lines.cpp). Null when there is no memory. The per-block loops use 256-bit loads and
// stores, which cost twice as much on some processors (Zen 4) when they straddle a 32-byte
// boundary. Thread: any.
void* AllocateCacheLines(std::size_t bytes);

// Frees memory from AllocateCacheLines; null does nothing. Thread: any.
void FreeCacheLines(void* memory);

// For std::unique_ptr over such memory.
struct CacheLinesDeleter {
    void operator()(void* memory) const { FreeCacheLines(memory); }
};

}  // namespace kinetra
