// Polling until a condition holds, with a way out.
#pragma once

#include <chrono>
#include <thread>

namespace kinetra::test {

// Looks at done() every millisecond until it holds or limit has passed; true when it held.
template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace kinetra::test
