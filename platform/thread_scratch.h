// A memory block of the calling thread's own, kept between calls and freed when the thread ends:
// scratch space that a routine called on every block reuses without allocating again. Each
// system keeps it its own way (platform/<system>/thread_scratch.cpp): a thread_local on Linux;
// on Windows a fiber-local slot, as MinGW's thread_local is emulated through a look-up that
// takes a lock.
#pragma once

#include <cstddef>

namespace kinetra {

// The calling thread's block, at least bytes long (grown, without keeping its contents, when it
// is shorter); null when there is no memory (the old block stays). Allocates only when the block
// grows (and on Windows once per thread for the slot). Thread: any, each its own block.
void* ThreadScratchBlock(std::size_t bytes);

}  // namespace kinetra
