// The product index of the shared device, and the warning about the maker's desktop program.
#include <gtest/gtest.h>

#include <QWidget>
#include <cstring>
#include <string>

#include "app/desktop_check.h"
#include "app_test_support.h"
#include "force/force_channel.h"
#include "force/virtual_device.h"
#include "pipeline/band_plan.h"

namespace {

using kinetra::test::MessageBoxRecorder;
using kinetra::test::ScopedEnv;

// The shared device is the one the force channels open; a channel is kept alive for it.
class ProductIndex : public ::testing::Test {
protected:
    int IndexWithDevice(const char* setting) {
        ScopedEnv device("KINETRA_FORCE_DEVICE", setting);
        CForceChannel channel;
        return kinetra::pipeline::GetProductIndex();
    }
};

TEST_F(ProductIndex, ComesFromTheSharedDevicesName) {
    EXPECT_EQ(IndexWithDevice("virtual:Orbit 3D"), 3);
    EXPECT_EQ(IndexWithDevice("virtual:Logitech iFeel MouseMan"), 6);
    EXPECT_EQ(IndexWithDevice("virtual:My iFeel Pad"), 5);
    EXPECT_EQ(IndexWithDevice("virtual"), 0);  // "Kinetra Virtual Mouse" is not in the table
}

TEST_F(ProductIndex, IsZeroWithoutADevice) {
    EXPECT_EQ(IndexWithDevice("virtual,fail=open"), 0);
    EXPECT_EQ(kinetra::pipeline::GetProductIndex(), 0);  // no channel at all
}

class DesktopCheck : public ::testing::Test {
protected:
    void SetUp() override {
        kinetra::app::SetWindowFinder([this](const char* windowClass) {
            m_asked.push_back(windowClass);
            return m_desktopRuns;
        });
    }
    void TearDown() override { kinetra::app::SetWindowFinder(nullptr); }

    void Check(const char* device) {
        ScopedEnv setting("KINETRA_FORCE_DEVICE", device);
        kinetra::app::CheckDesktopProgram(nullptr, &m_owner);
    }

    bool m_desktopRuns = true;
    std::vector<std::string> m_asked;
    QWidget m_owner;
    MessageBoxRecorder m_boxes;
};

TEST_F(DesktopCheck, WarnsWhenTheDesktopProgramRunsBesideAnotherDevice) {
    Check("virtual:Primax FX");
    ASSERT_EQ(m_asked.size(), 1u);
    EXPECT_EQ(m_asked[0], "Ondrel Desktop Window");
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].text, "Please exit Ondrel Kinetra Desktop before proceeding.");
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "Error - Ondrel Kinetra Entertainment");
    EXPECT_EQ(m_boxes.Boxes()[0].icon, kinetra::app::MessageIcon::Exclamation);
    // The probe has let go of the device.
    EXPECT_EQ(kinetra::force::GetVirtualDeviceSnapshot().connections, 0);
}

TEST_F(DesktopCheck, StaysQuietForIFeelDevices) {
    Check("virtual:Logitech iFeel Mouse");
    Check("virtual:Another iFeel thing");
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(DesktopCheck, StaysQuietWhenTheProbeCannotOpenTheDevice) {
    Check("virtual:Primax FX,fail=open");
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(DesktopCheck, StaysQuietAndOpensNothingWithoutTheDesktopProgram) {
    m_desktopRuns = false;
    const auto before = kinetra::force::GetVirtualDeviceSnapshot();
    Check("virtual:Primax FX");
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_EQ(kinetra::force::GetVirtualDeviceSnapshot().opens, before.opens);
}

TEST(DesktopWindowFinder, FindsNothingWithoutADisplay) {
    ScopedEnv display("DISPLAY", nullptr);
    EXPECT_FALSE(kinetra::app::FindTopLevelWindowOfClass("Ondrel Desktop Window"));
}

}  // namespace
