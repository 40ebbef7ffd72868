// The device library's SDL backend where no device is present (Linux: SDL2).
#include <SDL.h>
#include <gtest/gtest.h>

#include "force/ond_library.h"
#include "force_env.h"
#include "support/debug_capture.h"

using kinetra::test::ForceDeviceVariable;

TEST(ForceLibrary, SdlWithoutSuchDeviceFailsAndLeavesSdlAsFound) {
    ForceDeviceVariable variable("sdl:9999");
    // Another user of SDL in this process keeps its subsystem.
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_HAPTIC), 0) << SDL_GetError();
    {
        kinetra::test::DebugCapture debug;
        CHXCErrors::m_dwErrHandlingFlags = CHXCErrors::HXC_ERR_REPORT;
        COndMouse device;
        EXPECT_EQ(device.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 0);
        CHXCErrors::m_dwErrHandlingFlags = 0;
        ASSERT_EQ(debug.Lines().size(), 1u);
        EXPECT_NE(debug.Lines()[0].find("there is no SDL haptic device 9999"), std::string::npos)
            << debug.Lines()[0];
    }
    EXPECT_NE(SDL_WasInit(SDL_INIT_HAPTIC), 0u);
    SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_HAPTIC), 0u);
    {
        ForceDeviceVariable named("sdl:No Such Haptic Device");
        COndMouse device;
        EXPECT_EQ(device.Initialize(nullptr, nullptr, OND_INIT_EFFECTS, true), 0);
    }
    EXPECT_EQ(SDL_WasInit(SDL_INIT_HAPTIC), 0u);
}
