#include "platform/cache_lines.h"

#include <cstdlib>
#include <cstring>

namespace kinetra {

void* AllocateCacheLines(std::size_t bytes) {
    const std::size_t size = ((bytes == 0 ? 1 : bytes) + kCacheLine - 1) / kCacheLine * kCacheLine;
    void* memory = std::aligned_alloc(kCacheLine, size);
    if (memory != nullptr) std::memset(memory, 0, size);
    return memory;
}

void FreeCacheLines(void* memory) {
    std::free(memory);
}

}  // namespace kinetra
