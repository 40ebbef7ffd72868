// The status line's input and device texts, the menu's device entries, and which input and device
// a run starts with (environment over the settings file over a first run's guess).
#include <gtest/gtest.h>

#include "window/choice_status.h"
#include "window/choices.h"

namespace {

using kinetra::capture::AudioInputChoice;
using kinetra::capture::AudioInputKind;
using kinetra::force::ForceDeviceKind;
using kinetra::force::ForceDeviceState;
using kinetra::window::DeviceMenuText;
using kinetra::window::DeviceStatusText;
using kinetra::window::InputOrigin;
using kinetra::window::InputStatusText;

std::string Text(const std::string& text) {
    return text;
}

kinetra::capture::AudioSourceList Sources() {
    kinetra::capture::AudioSourceList list;
    list.serverAnswered = true;
    list.sources = {{"alsa_input.usb-mic", "USB Microphone", false},
                    {"alsa_output.hdmi.monitor", "Monitor of HDMI Audio", true}};
    list.defaultOutputDescription = "Built-in Audio";
    list.defaultInputDescription = "USB Microphone";
    return list;
}

TEST(ChoiceStatus, InputTextsForEachKindAndOrigin) {
    const auto list = Sources();
    AudioInputChoice monitor{AudioInputKind::kMonitor, {}};
    // What the capture hears now wins over the list's default output (it follows the default).
    EXPECT_EQ(Text(InputStatusText(monitor, list, "Headphones", InputOrigin::kStored)),
              "What this computer plays \u2014 Headphones");
    EXPECT_EQ(Text(InputStatusText(monitor, list, "", InputOrigin::kMenu)),
              "What this computer plays \u2014 Built-in Audio");
    EXPECT_EQ(Text(InputStatusText(monitor, {}, "", InputOrigin::kMenu)),
              "What this computer plays");
    EXPECT_EQ(Text(InputStatusText(monitor, list, "", InputOrigin::kFirstRunMonitor)),
              "What this computer plays \u2014 Built-in Audio (first start: chosen so that Test "
              "can be felt)");

    AudioInputChoice fallback{AudioInputKind::kDefault, {}};
    EXPECT_EQ(Text(InputStatusText(fallback, {}, "", InputOrigin::kFirstRunDefault)),
              "Default input (no sound server answers)");
    EXPECT_EQ(Text(InputStatusText(fallback, list, "", InputOrigin::kEnvironment)),
              "Default input \u2014 USB Microphone");

    AudioInputChoice mic{AudioInputKind::kNamed, "alsa_input.usb-mic"};
    EXPECT_EQ(Text(InputStatusText(mic, list, "", InputOrigin::kMenu)),
              "Microphone \u2014 USB Microphone");
    AudioInputChoice hdmi{AudioInputKind::kNamed, "alsa_output.hdmi.monitor"};
    EXPECT_EQ(Text(InputStatusText(hdmi, list, "", InputOrigin::kMenu)), "Monitor of HDMI Audio");
    AudioInputChoice gone{AudioInputKind::kNamed, "unplugged"};
    EXPECT_EQ(Text(InputStatusText(gone, list, "", InputOrigin::kStored)),
              "Input \u2014 unplugged");

    AudioInputChoice file{AudioInputKind::kFile, "/home/ann/Music/beat.flac"};
    EXPECT_EQ(Text(InputStatusText(file, list, "", InputOrigin::kMenu)),
              "Sound file \u2014 beat.flac");
}

TEST(ChoiceStatus, DeviceTextsForEachStateAndKind) {
    kinetra::force::ForceDeviceStatus status;
    EXPECT_EQ(Text(DeviceStatusText(status)), "No force device");
    status.name = "Xbox 360 Controller";
    status.kind = ForceDeviceKind::kRumble;
    status.twoMotors = true;
    status.state = ForceDeviceState::kConnected;
    EXPECT_EQ(Text(DeviceStatusText(status)), "Xbox 360 Controller \u00b7 rumble \u00b7 connected");
    status.state = ForceDeviceState::kDisconnectedWaiting;
    EXPECT_EQ(Text(DeviceStatusText(status)),
              "Xbox 360 Controller \u00b7 rumble \u00b7 disconnected, waiting");
    status.state = ForceDeviceState::kReconnected;
    EXPECT_EQ(Text(DeviceStatusText(status)),
              "Xbox 360 Controller \u00b7 rumble \u00b7 reconnected");
    status.name = "Logitech iFeel Mouse";
    status.kind = ForceDeviceKind::kSine;
    status.twoMotors = false;
    EXPECT_EQ(Text(DeviceStatusText(status)),
              "Logitech iFeel Mouse \u00b7 sine \u00b7 reconnected");
    status.name = "Pad";
    status.kind = ForceDeviceKind::kVirtual;
    status.twoMotors = true;
    status.state = ForceDeviceState::kConnected;
    EXPECT_EQ(Text(DeviceStatusText(status)), "Pad \u00b7 virtual rumble \u00b7 connected");

    EXPECT_EQ(Text(DeviceMenuText(
                  {"sdl:Xbox 360 Controller", "Xbox 360 Controller", ForceDeviceKind::kRumble})),
              "Xbox 360 Controller (rumble)");
}

// The window's tests cover the environment over the stored choice over a first run with a server.
TEST(StartingChoices, TheServerIsAskedOnAFirstRunOnlyAndTheBackendAlwaysHolds) {
    int asked = 0;
    auto silent = [&asked] {
        ++asked;
        return false;
    };
    AudioInputChoice environment{AudioInputKind::kDefault, {}};
    environment.backend = kinetra::capture::AudioBackendChoice::kSdl;
    auto start =
        kinetra::window::ChooseStartingInput(false, environment, "file:/tmp/x.wav", silent);
    EXPECT_EQ(start.choice.kind, AudioInputKind::kFile);
    EXPECT_EQ(start.choice.backend, kinetra::capture::AudioBackendChoice::kSdl);
    EXPECT_EQ(asked, 0);
    start = kinetra::window::ChooseStartingInput(false, environment, std::nullopt, silent);
    EXPECT_EQ(start.choice.kind, AudioInputKind::kDefault);
    EXPECT_EQ(start.origin, InputOrigin::kFirstRunDefault);
    EXPECT_EQ(start.choice.backend, kinetra::capture::AudioBackendChoice::kSdl);
    EXPECT_EQ(asked, 1);
    // A malformed stored device is no choice: the default opens.
    EXPECT_FALSE(kinetra::window::ChooseStartingDevice(false, "virtual,effects=x").has_value());
}

}  // namespace
