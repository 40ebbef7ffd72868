#include "platform/thread_scratch.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace kinetra {
namespace {

struct Scratch {
    void* block = nullptr;
    std::size_t bytes = 0;
};

// Called by the system as each thread that set the slot ends.
void NTAPI FreeScratch(void* data) {
    auto* scratch = static_cast<Scratch*>(data);
    if (scratch == nullptr) return;
    std::free(scratch->block);
    delete scratch;
}

DWORD Slot() {
    static const DWORD slot = FlsAlloc(&FreeScratch);
    return slot;
}

}  // namespace

void* ThreadScratchBlock(std::size_t bytes) {
    const DWORD slot = Slot();
    if (slot == FLS_OUT_OF_INDEXES) return nullptr;
    auto* scratch = static_cast<Scratch*>(FlsGetValue(slot));
    if (scratch == nullptr) {
        scratch = new (std::nothrow) Scratch;
        if (scratch == nullptr) return nullptr;
        if (!FlsSetValue(slot, scratch)) {
            delete scratch;
            return nullptr;
        }
    }
    if (scratch->bytes < bytes) {
        void* grown = std::malloc(bytes);
        if (grown == nullptr) return nullptr;
        std::free(scratch->block);
        scratch->block = grown;
        scratch->bytes = bytes;
    }
    return scratch->block;
}

}  // namespace kinetra
