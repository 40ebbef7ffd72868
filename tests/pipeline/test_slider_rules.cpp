// The slider rules against hand-worked values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "pipeline/slider_rules.h"

namespace {

using kinetra::pipeline::FollowLockedLevel;
using kinetra::pipeline::GainForStrength;
using kinetra::pipeline::ThresholdForLevel;

TEST(StrengthGain, EveryPositionGivesOneHundredPerPercent) {
    for (int p = 0; p <= 100; ++p) {
        EXPECT_EQ(GainForStrength(p), static_cast<std::uint32_t>((100 - p) * 100))
            << "position " << p;
    }
    EXPECT_EQ(GainForStrength(0), 10000u);
    EXPECT_EQ(GainForStrength(100), 0u);
}

TEST(SliderRules, HandWorkedValues) {
    // Threshold: e^(p / 5) with integer division; positions 0..4 share e^0, 5..9 share e^1.
    EXPECT_DOUBLE_EQ(ThresholdForLevel(0), 1.0);
    EXPECT_DOUBLE_EQ(ThresholdForLevel(4), 1.0);
    EXPECT_DOUBLE_EQ(ThresholdForLevel(5), 2.718281828459045);
    EXPECT_DOUBLE_EQ(ThresholdForLevel(9), 2.718281828459045);
    EXPECT_DOUBLE_EQ(ThresholdForLevel(20), 54.598150033144236);  // e^4
    EXPECT_DOUBLE_EQ(ThresholdForLevel(24), 54.598150033144236);  // still e^4
    EXPECT_DOUBLE_EQ(ThresholdForLevel(100), 485165195.4097903);  // e^20
    // Gain: (100 - 93) x 0.01 x 10000 is 700.0000000000001 in doubles and truncates to 700;
    // (100 - 65) x 0.01 x 10000 is 3500.0000000000005 and gives 3500.
    EXPECT_EQ(GainForStrength(93), 700u);
    EXPECT_EQ(GainForStrength(65), 3500u);
    EXPECT_EQ(GainForStrength(50), 5000u);
    // Locked follow: the follower moves by slider 1's change and stops at 0 and 100 on its own.
    EXPECT_EQ(FollowLockedLevel(20, 10), 30);
    EXPECT_EQ(FollowLockedLevel(20, -10), 10);
    EXPECT_EQ(FollowLockedLevel(4, -10), 0);
    EXPECT_EQ(FollowLockedLevel(0, -1), 0);
    EXPECT_EQ(FollowLockedLevel(95, 10), 100);
    EXPECT_EQ(FollowLockedLevel(100, 1), 100);
    EXPECT_EQ(FollowLockedLevel(100, -100), 0);
    EXPECT_EQ(FollowLockedLevel(37, 0), 37);
}

}  // namespace
