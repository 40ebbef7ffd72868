// The status line's input and device texts, the menu's device entries, and which input and device
// a run starts with (environment over the settings file over a first run's guess).
#include <gtest/gtest.h>

#include "app/choice_status.h"
#include "app/choices.h"
#include "app/status_line.h"

namespace {

using kinetra::app::DeviceMenuText;
using kinetra::app::DeviceStatusText;
using kinetra::app::InputOrigin;
using kinetra::app::InputStatusText;
using kinetra::capture::AudioInputChoice;
using kinetra::capture::AudioInputKind;
using kinetra::force::ForceDeviceKind;
using kinetra::force::ForceDeviceState;

std::string Text(const QString& text) {
    return text.toStdString();
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
    auto start = kinetra::app::ChooseStartingInput(false, environment, "file:/tmp/x.wav", silent);
    EXPECT_EQ(start.choice.kind, AudioInputKind::kFile);
    EXPECT_EQ(start.choice.backend, kinetra::capture::AudioBackendChoice::kSdl);
    EXPECT_EQ(asked, 0);
    start = kinetra::app::ChooseStartingInput(false, environment, std::nullopt, silent);
    EXPECT_EQ(start.choice.kind, AudioInputKind::kDefault);
    EXPECT_EQ(start.origin, InputOrigin::kFirstRunDefault);
    EXPECT_EQ(start.choice.backend, kinetra::capture::AudioBackendChoice::kSdl);
    EXPECT_EQ(asked, 1);
    // A malformed stored device is no choice: the default opens.
    EXPECT_FALSE(kinetra::app::ChooseStartingDevice(false, "virtual,effects=x").has_value());
}

}  // namespace

namespace {

// A line too long for its width gives up the end of the input's text first: the device's state
// and the hint, what changes while the program runs, stay whole.
TEST(StatusLineFit, TheInputGivesWayBeforeTheDeviceAndTheHint) {
    kinetra::app::StatusLine line;
    line.SetInputText(
        QStringLiteral("What this computer plays \u2014 Monitor of Built-in Audio "
                       "Analog Stereo (first start: chosen so that Test can be felt)"));
    line.SetDeviceText(
        QStringLiteral("Xbox 360 Controller \u00b7 rumble \u00b7 disconnected, waiting"));
    line.SetHintText(QStringLiteral("no sound for 10 s"));
    const QFontMetrics metrics(line.font());
    const QString tail = QStringLiteral(
        "  \u00b7  Xbox 360 Controller \u00b7 rumble \u00b7 disconnected, waiting  \u00b7  no "
        "sound "
        "for 10 s");
    const int width = metrics.horizontalAdvance(QStringLiteral("What this computer plays")) +
                      metrics.horizontalAdvance(tail);
    const QString shown = line.FittedText(metrics, width);
    EXPECT_TRUE(shown.endsWith(tail)) << Text(shown);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("What this"))) << Text(shown);
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << Text(shown);
    EXPECT_LE(metrics.horizontalAdvance(shown), width);
    // Wide enough: the whole line; very narrow: the line itself is cut short.
    EXPECT_EQ(line.FittedText(metrics, metrics.horizontalAdvance(line.Text())), line.Text());
    EXPECT_LE(metrics.horizontalAdvance(line.FittedText(metrics, 40)), 40);
}

}  // namespace
