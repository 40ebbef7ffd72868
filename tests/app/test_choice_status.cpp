// The status line's input and device texts, the menu's device entries, and which input and device
// a run starts with (environment over the settings file over a first run's guess).
#include <gtest/gtest.h>

#include <QSettings>

#include "app/choice_status.h"
#include "app/choices.h"
#include "app/settings_store.h"
#include "app_test_support.h"

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
              "What this computer plays \u2014 Built-in Audio (chosen because Test's sound is "
              "heard only this way)");

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

TEST(ChoiceStatus, ChoicesNameTheirDevicesAndInputsRoundTrip) {
    const kinetra::force::ForceDeviceInfo pad{"sdl:Xbox 360 Controller", "Xbox 360 Controller",
                                              ForceDeviceKind::kRumble};
    const kinetra::force::ForceDeviceInfo virtualDevice{"virtual", "Kinetra Virtual Mouse",
                                                        ForceDeviceKind::kVirtual};
    kinetra::force::ForceDeviceChoice choice;
    std::string error;
    ASSERT_TRUE(ParseForceDeviceChoice("sdl:Xbox 360 Controller", &choice, &error));
    EXPECT_TRUE(kinetra::app::ChoiceNamesDevice(choice, pad));
    EXPECT_FALSE(kinetra::app::ChoiceNamesDevice(choice, virtualDevice));
    ASSERT_TRUE(ParseForceDeviceChoice("virtual,kind=rumble", &choice, &error));
    EXPECT_TRUE(kinetra::app::ChoiceNamesDevice(choice, virtualDevice));
    ASSERT_TRUE(ParseForceDeviceChoice("virtual:Pad,kind=rumble", &choice, &error));
    EXPECT_FALSE(kinetra::app::ChoiceNamesDevice(choice, virtualDevice));
    EXPECT_EQ(kinetra::app::DescribeForceDeviceChoice(choice), "Pad");
    ASSERT_TRUE(ParseForceDeviceChoice("", &choice, &error));  // the first SDL device
    EXPECT_FALSE(kinetra::app::ChoiceNamesDevice(choice, pad));

    for (const char* text : {"monitor", "default", "sdl:", "sdl:Line In", "alsa_input.usb-mic",
                             "file:/tmp/a b.wav", "memory:tool"}) {
        const AudioInputChoice parsed = kinetra::capture::ParseAudioInput(text);
        const AudioInputChoice again =
            kinetra::capture::ParseAudioInput(kinetra::app::InputChoiceText(parsed));
        EXPECT_EQ(again.kind, parsed.kind) << text;
        EXPECT_EQ(again.value, parsed.value) << text;
        EXPECT_EQ(again.sdlOnly, parsed.sdlOnly) << text;
    }

    EXPECT_EQ(Text(kinetra::app::SwitchProblemText("Pad", "permission denied\nadd yourself")),
              "Could not open Pad: permission denied");
    EXPECT_EQ(Text(kinetra::app::SwitchProblemText("sound file /x.wav", "")),
              "Could not open sound file /x.wav: it did not open");
}

TEST(StartingChoices, EnvironmentOverStoredOverFirstRun) {
    int asked = 0;
    auto answers = [&asked] {
        ++asked;
        return true;
    };
    auto silent = [&asked] {
        ++asked;
        return false;
    };
    AudioInputChoice environment{AudioInputKind::kDefault, {}};
    environment.backend = kinetra::capture::AudioBackendChoice::kSdl;

    // KINETRA_AUDIO_INPUT=default keeps the default capture device, whatever is stored.
    auto start = kinetra::app::ChooseStartingInput(true, environment, "monitor", answers);
    EXPECT_EQ(start.choice.kind, AudioInputKind::kDefault);
    EXPECT_EQ(start.origin, InputOrigin::kEnvironment);

    start = kinetra::app::ChooseStartingInput(false, environment, "file:/tmp/x.wav", answers);
    EXPECT_EQ(start.choice.kind, AudioInputKind::kFile);
    EXPECT_EQ(start.choice.value, "/tmp/x.wav");
    EXPECT_EQ(start.choice.backend, kinetra::capture::AudioBackendChoice::kSdl);
    EXPECT_EQ(start.origin, InputOrigin::kStored);
    EXPECT_EQ(asked, 0);  // the server is asked on a first run only

    start = kinetra::app::ChooseStartingInput(false, environment, std::nullopt, answers);
    EXPECT_EQ(start.choice.kind, AudioInputKind::kMonitor);
    EXPECT_EQ(start.origin, InputOrigin::kFirstRunMonitor);
    start = kinetra::app::ChooseStartingInput(false, environment, std::nullopt, silent);
    EXPECT_EQ(start.choice.kind, AudioInputKind::kDefault);
    EXPECT_EQ(start.origin, InputOrigin::kFirstRunDefault);
    EXPECT_EQ(asked, 2);

    EXPECT_FALSE(kinetra::app::ChooseStartingDevice(true, "virtual:Pad").has_value());
    EXPECT_FALSE(kinetra::app::ChooseStartingDevice(false, std::nullopt).has_value());
    EXPECT_FALSE(kinetra::app::ChooseStartingDevice(false, "virtual,effects=x").has_value());
    const auto device = kinetra::app::ChooseStartingDevice(false, "virtual:Pad,kind=rumble");
    ASSERT_TRUE(device.has_value());
    EXPECT_EQ(device->virtualName, "Pad");
    EXPECT_TRUE(device->rumble);
}

TEST(StartingChoices, StoredTextsRoundTripBesideTheDocumentedValues) {
    kinetra::test::ClearStoredSettings();
    {
        auto key = kinetra::app::OpenSettingsKey();
        kinetra::app::WriteStoredInt(*key, "threshold1", 35);
        key->setValue(QString::fromLatin1(kinetra::app::kInputValueName),
                      QStringLiteral("file:/tmp/with\\backslash.wav"));
        key->setValue(QString::fromLatin1(kinetra::app::kForceDeviceValueName),
                      QStringLiteral("virtual:Orbit 3D"));
        ASSERT_TRUE(kinetra::app::SyncSettingsKey(*key));
    }
    auto key = kinetra::app::OpenSettingsKey();
    EXPECT_EQ(kinetra::app::ReadStoredText(*key, "input"), "file:/tmp/with\\backslash.wav");
    EXPECT_EQ(kinetra::app::ReadStoredText(*key, "forceDevice"), "virtual:Orbit 3D");
    EXPECT_EQ(kinetra::app::ReadThreshold(*key, "threshold1"), 35);
    EXPECT_FALSE(kinetra::app::ReadStoredText(*key, "nothing").has_value());
    kinetra::test::ClearStoredSettings();
}

}  // namespace
