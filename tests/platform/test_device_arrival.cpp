// Word of new devices reaches every watch once, and only watches that were there to hear it.
#include <gtest/gtest.h>

#include "platform/device_arrival.h"

namespace {

TEST(DeviceArrival, NotedArrivalReachesEachWatchOnce) {
    kinetra::DeviceArrivalWatch first;
    kinetra::DeviceArrivalWatch second;
    EXPECT_FALSE(first.Arrived());
    kinetra::NoteDeviceArrival();
    EXPECT_TRUE(first.Arrived());
    EXPECT_FALSE(first.Arrived());
    EXPECT_TRUE(second.Arrived());
    kinetra::DeviceArrivalWatch later;
    EXPECT_FALSE(later.Arrived());
}

}  // namespace
