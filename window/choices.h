// The main window's choices of audio input and force device: which ones it starts with (the
// environment, else the settings file, else on a first run what this computer plays when a sound
// server answers), the "Input" and "Force device" submenus of its right-click menu, switching
// (the pipeline restarted through the window, the previous choice brought back after a failure),
// the settings keys "input" and "forceDevice", and the status line's input and device texts,
// refreshed every 300 ms.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/audio_applications.h"
#include "capture/audio_input.h"
#include "capture/audio_sources.h"
#include "capture/capture_engine.h"
#include "force/device_choice.h"
#include "force/force_devices.h"
#include "pipeline/sound_to_force.h"
#include "settings/settings_store.h"
#include "window/choice_status.h"
#include "window/menu_item.h"
#include "window/toolkit.h"

namespace kinetra::window {

// How the choices reach the machine; each may be replaced (tests), null keeps the real one.
// Each is called on the user-interface thread while the WindowChoices holding it lives.
struct ChoiceHooks {
    // The sound server's sources (capture::ListAudioSources).
    std::function<capture::AudioSourceList()> listSources;
    // Whether a sound server answers (capture::ProbePulseServer), asked on a first run only.
    std::function<bool()> soundServerAnswers;
    // The force devices (force::ListForceDevices), asked when the menu first opens and on re-scan.
    std::function<std::vector<force::ForceDeviceInfo>()> listDevices;
    // A sound file's path from the user, empty when cancelled (MessageBoxes::AskSoundFile).
    std::function<std::string()> askSoundFile;
    // The applications that play sound now (capture::ListAudioApplications), asked whenever the
    // menu opens.
    std::function<capture::AudioApplicationList()> listApplications;
};

// The input a run starts with, and why. environmentSet: KINETRA_AUDIO_INPUT is set (its choice is
// environmentChoice); stored: the settings file's "input"; serverAnswers is asked only on a first
// run (neither of the two). The backend always comes from environmentChoice
// (KINETRA_AUDIO_BACKEND). Thread: user-interface thread.
struct StartingInput {
    capture::AudioInputChoice choice;
    InputOrigin origin = InputOrigin::kEnvironment;
};
StartingInput ChooseStartingInput(bool environmentSet,
                                  const capture::AudioInputChoice& environmentChoice,
                                  const std::optional<std::string>& stored,
                                  const std::function<bool()>& serverAnswers);

// The device a run starts with: the environment's (or the program's) when KINETRA_FORCE_DEVICE is
// set or nothing valid is stored, else the stored one. Unset: leave the choice as it is.
std::optional<force::ForceDeviceChoice> ChooseStartingDevice(
    bool environmentSet, const std::optional<std::string>& stored);

// Keeps the text a failed switch reports instead of a box.
class RecordingErrorReporter final : public capture::CaptureErrorReporter {
public:
    void ReportFatalError(const char* text, const char* caption, int exitCode) override;
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

// What restarting the pipeline gave: the start result and what the audio input reported.
struct RestartOutcome {
    pipeline::StartResult result = pipeline::StartResult::kRunning;
    std::string inputError;  // the reporter's text when the audio input did not open
};

// The parts of the toolkit the choices use; each outlives the WindowChoices.
struct ChoiceParts {
    settings::SettingsStore& store;
    StatusView& status;
    Timers& timers;
    MessageBoxes& boxes;
};

class WindowChoices {
public:
    // restart stops the window's pipeline and starts it again on an input and a device (the
    // window keeps its controls, mode and pause); it is called on the user-interface thread
    // while this object lives. Thread (all operations): user-interface thread.
    using Restarter = std::function<RestartOutcome(const capture::AudioInputChoice& input,
                                                   const force::ForceDeviceChoice& device)>;
    WindowChoices(const ChoiceParts& parts, Restarter restart);
    WindowChoices(const WindowChoices&) = delete;
    WindowChoices& operator=(const WindowChoices&) = delete;

    // Replaces the hooks (before StartingOptions). Null members keep the real ones.
    void SetHooks(const ChoiceHooks& hooks);

    // Chooses the starting input and device, puts them into options, and remembers them.
    void StartingOptions(pipeline::StartOptions* options);
    // After the stored device did not open at start: takes it out of options (the default is
    // tried next) and says why in the status line. False when options held no stored device.
    bool DropStoredDevice(pipeline::StartOptions* options);
    // The pipeline runs: lists the sources once, starts the status refresh.
    void Started();

    // The "Applications" submenu of the "Input" menu: one entry per application that plays sound
    // now (its streams merged), or a disabled entry saying why there is none.
    MenuItem ApplicationsMenu();
    // The "Input" and "Force device" submenus (the sound server's sources and the devices are
    // listed afresh).
    std::vector<MenuItem> MenuItems();
    // Runs the command of an entry MenuItems made (after the menu has closed); false for any
    // other command.
    bool RunMenuCommand(const std::string& command);

    // Switches the input, or the device (a KINETRA_FORCE_DEVICE text): the pipeline restarts;
    // after a failure the previous choice runs again and the status line says why. True when
    // the new choice runs (it is then stored).
    bool SwitchInput(const capture::AudioInputChoice& input);
    bool SwitchDevice(const std::string& deviceText);
    // Lists the force devices again.
    void RescanDevices();
    // "Play sound file aloud" and "Loop" (stored; both on unless chosen off): a sound-file input
    // is played on the default output as it is felt, and looped. A file input restarts with them.
    void SetFilePlayback(bool aloud, bool loop);
    bool FileAloud() const { return m_fileAloud; }
    bool FileLoop() const { return m_fileLoop; }

    const capture::AudioInputChoice& Input() const { return m_input; }
    InputOrigin Origin() const { return m_origin; }
    const force::ForceDeviceChoice& Device() const { return m_device; }
    const std::vector<force::ForceDeviceInfo>& Devices() const { return m_devices; }

    // Hidden (false): the status refresh stops; shown again, it refreshes at once.
    void SetShown(bool shown);
    // Sets the status line's input and device texts now.
    void RefreshStatus();
    // One of the owner's periodic ticks (the meters'), so that the status line needs no wake-ups
    // of its own: refreshes while shown when about 300 ms have passed since the last refresh (a
    // tick or less early).
    void StatusTick();

private:
    bool Switch(const capture::AudioInputChoice& input, const force::ForceDeviceChoice& device,
                const char* storeName, const std::string& storeText);
    void ListDevicesOnce();
    void Store(const char* name, const std::string& value);
    // Shows a failed choice's text as the status line's warning, with its details.
    void ShowProblem(const std::string& problem, bool aboutInput);

    ChoiceParts m_parts;
    Restarter m_restart;
    ChoiceHooks m_hooks;

    capture::AudioInputChoice m_input;
    InputOrigin m_origin = InputOrigin::kEnvironment;
    force::ForceDeviceChoice m_device;
    capture::AudioSourceList m_sources;
    std::vector<force::ForceDeviceInfo> m_devices;
    bool m_devicesListed = false;
    bool m_deviceStored = false;  // the starting device came from the settings file

    // A failed switch's text, shown as the status line's warning until a switch succeeds.
    std::string m_problem;
    bool m_problemIsInput = false;
    std::string m_problemDetail;
    // What a re-scan found, shown in place of the device part until m_noticeUntilMs.
    std::string m_notice;
    std::int64_t m_noticeUntilMs = 0;
    // KINETRA_FORCE_DEVICE's text when it chose the starting device.
    std::string m_environmentDevice;
    bool m_shown = true;
    bool m_started = false;
    std::int64_t m_refreshedMs = 0;
    bool m_fileAloud = true;
    bool m_fileLoop = true;
};

}  // namespace kinetra::window
