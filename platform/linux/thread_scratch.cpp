#include "platform/thread_scratch.h"

#include <cstdlib>

namespace kinetra {
namespace {

struct Scratch {
    void* block = nullptr;
    std::size_t bytes = 0;
    ~Scratch() { std::free(block); }
};

}  // namespace

void* ThreadScratchBlock(std::size_t bytes) {
    // Initial-exec: this library is linked into programs, never loaded later, and the
    // position-independent default would cost a TLS look-up call on every block.
    __attribute__((tls_model("initial-exec"))) thread_local Scratch scratch;
    if (scratch.bytes < bytes) {
        void* grown = std::malloc(bytes);
        if (grown == nullptr) return nullptr;
        std::free(scratch.block);
        scratch.block = grown;
        scratch.bytes = bytes;
    }
    return scratch.block;
}

}  // namespace kinetra
