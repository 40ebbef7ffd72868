// Transforms on several threads at once with one shared table give each thread the same
// answer as a transform on its own.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "fft/dzfft1dc.h"

namespace {

TEST(DzfftThreads, ConcurrentTransformsShareOneTable) {
    for (int n : {1024, 1 << 16}) {
        std::vector<double> table(2 * n + 4);
        std::vector<double> scratch(n + 2);
        DZFFT1DC(scratch.data(), n, 0, table.data());
        std::vector<std::vector<double>> inputs(4, std::vector<double>(n + 2));
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> dist(-1, 1);
        for (auto& in : inputs) {
            for (int j = 0; j < n; ++j) in[j] = dist(rng);
        }
        std::vector<std::vector<double>> expected = inputs;
        for (auto& e : expected) DZFFT1DC(e.data(), n, -1, table.data());

        std::vector<std::vector<double>> results(inputs.size());
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < inputs.size(); ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 20; ++round) {
                    std::vector<double> data = inputs[t];
                    DZFFT1DC(data.data(), n, -1, table.data());
                    results[t] = data;
                    if (results[t] != expected[t]) return;
                }
            });
        }
        for (auto& th : threads) th.join();
        for (std::size_t t = 0; t < inputs.size(); ++t) EXPECT_EQ(results[t], expected[t]) << n;
    }
}

}  // namespace
