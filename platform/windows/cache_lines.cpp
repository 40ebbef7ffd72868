#include "platform/cache_lines.h"

#include <malloc.h>

#include <cstring>

namespace kinetra {

void* AllocateCacheLines(std::size_t bytes) {
    const std::size_t size = ((bytes == 0 ? 1 : bytes) + kCacheLine - 1) / kCacheLine * kCacheLine;
    void* memory = _aligned_malloc(size, kCacheLine);
    if (memory != nullptr) std::memset(memory, 0, size);
    return memory;
}

void FreeCacheLines(void* memory) {
    _aligned_free(memory);
}

}  // namespace kinetra
