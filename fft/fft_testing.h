// Hooks that let tests exercise the transform's rare failure paths.
#pragma once

#include <cstddef>

namespace kinetra::fft::testing {

using ScratchAlloc = void* (*)(std::size_t bytes);
using ScratchFree = void (*)(void* block);

// Replaces the allocator of the transform's scratch block (null restores the default, which
// also re-enables the per-thread reuse of the block). Thread: call while no transform runs.
void SetScratchAllocator(ScratchAlloc alloc, ScratchFree release);

}  // namespace kinetra::fft::testing
