// Lets tests make the spectrum frame's allocations fail.
#pragma once

#include <cstddef>

namespace kinetra::analysis::testing {

using FrameAlloc = void* (*)(std::size_t bytes);

// Replaces the frame's array allocator with one whose memory FreeCacheLines frees (null restores
// AllocateCacheLines). Thread: while no frame is built.
void SetFrameAllocator(FrameAlloc alloc);

}  // namespace kinetra::analysis::testing
