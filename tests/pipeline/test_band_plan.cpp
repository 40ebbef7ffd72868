// The band plan: the five bands' edges and the supported-product table with its name lookup.
#include <gtest/gtest.h>

#include "pipeline/band_plan.h"

namespace {

using kinetra::pipeline::g_supportedDevices;
using kinetra::pipeline::ProductIndexForName;

TEST(BandPlan, EdgesOfTheFiveBandsWithTheirGaps) {
    const std::uint32_t low[5] = {0, 220, 484, 2030, 10040};
    const std::uint32_t high[5] = {177, 440, 2000, 10000, 23000};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(kinetra::pipeline::kBandEdges[k].lowHz, low[k]) << "band " << k + 1;
        EXPECT_EQ(kinetra::pipeline::kBandEdges[k].highHz, high[k]) << "band " << k + 1;
    }
}

TEST(BandPlan, EffectFrequencyIsTheTablesColumnOfTheBand) {
    EXPECT_EQ(kinetra::pipeline::EffectFrequencyFor(3, 1), 43u);  // Orbit 3D, band 1
    EXPECT_EQ(kinetra::pipeline::EffectFrequencyFor(5, 1), 62u);  // iFeel Mouse, band 1
    EXPECT_EQ(kinetra::pipeline::EffectFrequencyFor(0, 5), 250u);
    EXPECT_EQ(kinetra::pipeline::EffectFrequencyFor(6, 2), 75u);
}

TEST(SupportedDevices, TableHoldsTheSevenProductsInOrder) {
    const char* const names[7] = {"Primax FX",
                                  "Touch Force Optical",
                                  "Nostromo n30 Game Mouse",
                                  "Orbit 3D",
                                  "Logitech Wingman Force Feedback Mouse",
                                  "Logitech iFeel Mouse",
                                  "Logitech iFeel MouseMan"};
    const int band1[7] = {40, 50, 45, 43, 50, 62, 62};
    ASSERT_EQ(kinetra::pipeline::kSupportedDeviceCount, 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_STREQ(g_supportedDevices[i].productName, names[i]);
        EXPECT_EQ(g_supportedDevices[i].bandFrequency[0], band1[i]) << names[i];
        EXPECT_EQ(g_supportedDevices[i].bandFrequency[1], 75);
        EXPECT_EQ(g_supportedDevices[i].bandFrequency[2], 90);
        EXPECT_EQ(g_supportedDevices[i].bandFrequency[3], 115);
        EXPECT_EQ(g_supportedDevices[i].bandFrequency[4], 250);
    }
}

TEST(SupportedDevices, ExactNamesFindTheirOwnRow) {
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(ProductIndexForName(g_supportedDevices[i].productName), i);
    }
    // Row 6, not the "iFeel" fallback of row 5.
    EXPECT_EQ(ProductIndexForName("Logitech iFeel MouseMan"), 6);
}

TEST(SupportedDevices, OtherNamesFallBackByTheIFeelSubstring) {
    EXPECT_EQ(ProductIndexForName("Some iFeel Trackball"), 5);
    EXPECT_EQ(ProductIndexForName("iFeel"), 5);
    EXPECT_EQ(ProductIndexForName("logitech ifeel mouse"), 0);  // case matters
    EXPECT_EQ(ProductIndexForName("IFEEL"), 0);
    EXPECT_EQ(ProductIndexForName("Primax FX "), 0);  // whole names only
    EXPECT_EQ(ProductIndexForName("Orbit"), 0);
    EXPECT_EQ(ProductIndexForName(""), 0);
    EXPECT_EQ(ProductIndexForName(nullptr), 0);
}

}  // namespace
