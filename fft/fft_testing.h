// Hooks that let tests exercise the transform's rare failure paths and each of its code paths.
#pragma once

#include <cstddef>

namespace kinetra::fft::testing {

using ScratchAlloc = void* (*)(std::size_t bytes);
using ScratchFree = void (*)(void* block);

// Replaces the allocator of the transform's scratch block (null restores the default, which
// also re-enables the per-thread reuse of the block). Thread: call while no transform runs.
void SetScratchAllocator(ScratchAlloc alloc, ScratchFree release);

// The transform's code paths. Every build contains both; the vector one is chosen at the first
// transform when the processor runs it.
enum class Path { kScalar = 0, kAvx2 = 1 };

// True when this processor can run the path. Thread: any.
bool PathSupported(Path path);

// Makes every later transform use the path; returns false and changes nothing when the processor
// cannot run it. Thread: call while no transform runs.
bool ForcePath(Path path);

// Returns to the automatic choice. Thread: call while no transform runs.
void ResetPath();

// The path the next transform will take, and a path's display name. Thread: any.
Path ActivePath();
const char* PathName(Path path);

}  // namespace kinetra::fft::testing
