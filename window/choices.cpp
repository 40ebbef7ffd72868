#include "window/choices.h"

#include <algorithm>
#include <cstdlib>

#include "capture/audio_sources.h"
#include "force/ond_library.h"
#include "force/virtual_device.h"
#include "platform/debug_output.h"

namespace kinetra::window {
namespace {

// How often the status line's input and device texts are refreshed.
constexpr int kStatusRefreshMs = 300;
// How long what a re-scan found stays in place of the device part.
constexpr std::int64_t kNoticeShownMs = 6000;

// The commands of the choice menus' entries.
constexpr const char kInputPrefix[] = "input:";
constexpr const char kDevicePrefix[] = "device:";
constexpr const char kSoundFileCommand[] = "sound-file";
constexpr const char kRescanCommand[] = "rescan";
constexpr const char kFileAloudCommand[] = "file-aloud";
constexpr const char kFileLoopCommand[] = "file-loop";
// The settings' values of the two (1 on, 0 off; on when missing).
constexpr const char kFileAloudValueName[] = "fileAloud";
constexpr const char kFileLoopValueName[] = "fileLoop";

MenuItem Choice(const std::string& text, const std::string& objectName, const std::string& command,
                bool checked) {
    MenuItem item;
    item.text = text;
    item.objectName = objectName;
    item.command = command;
    item.checkable = true;
    item.checked = checked;
    return item;
}

// The last part of a path: what follows its last '/'.
std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first line of the library's reason why the device did not open.
std::string ForceOpenProblem() {
    std::string problem = force::LastForceDeviceProblem();
    if (problem.empty()) problem = force::LastForceProblem();
    return problem;
}

}  // namespace

StartingInput ChooseStartingInput(bool environmentSet,
                                  const capture::AudioInputChoice& environmentChoice,
                                  const std::optional<std::string>& stored,
                                  const std::function<bool()>& serverAnswers) {
    StartingInput start;
    if (environmentSet) {
        start.choice = environmentChoice;
        start.origin = InputOrigin::kEnvironment;
        return start;
    }
    if (stored.has_value()) {
        start.choice = capture::ParseAudioInput(*stored);
        start.origin = InputOrigin::kStored;
    } else if (serverAnswers && serverAnswers()) {
        start.choice.kind = capture::AudioInputKind::kMonitor;
        start.origin = InputOrigin::kFirstRunMonitor;
    } else {
        start.choice.kind = capture::AudioInputKind::kDefault;
        start.origin = InputOrigin::kFirstRunDefault;
    }
    start.choice.backend = environmentChoice.backend;
    return start;
}

std::optional<force::ForceDeviceChoice> ChooseStartingDevice(
    bool environmentSet, const std::optional<std::string>& stored) {
    if (environmentSet || !stored.has_value()) return std::nullopt;
    force::ForceDeviceChoice choice;
    std::string error;
    if (!force::ParseForceDeviceChoice(*stored, &choice, &error)) {
        DebugOutput(("SETTINGS: the stored force device is not valid: " + error + "\n").c_str());
        return std::nullopt;
    }
    return choice;
}

void RecordingErrorReporter::ReportFatalError(const char* text, const char* /*caption*/,
                                              int /*exitCode*/) {
    m_text = text != nullptr ? text : "";
}

WindowChoices::WindowChoices(const ChoiceParts& parts, Restarter restart)
    : m_parts(parts), m_restart(std::move(restart)) {
    SetHooks({});
}

void WindowChoices::SetHooks(const ChoiceHooks& hooks) {
    m_hooks = hooks;
    if (!m_hooks.listSources) m_hooks.listSources = [] { return capture::ListAudioSources(); };
    if (!m_hooks.soundServerAnswers) {
        m_hooks.soundServerAnswers = [] {
            bool monitor = false;
            capture::FirstRunAudioInputChoice(&monitor);
            return monitor;
        };
    }
    if (!m_hooks.listDevices) m_hooks.listDevices = [] { return force::ListForceDevices(); };
    if (!m_hooks.listApplications) {
        m_hooks.listApplications = [] { return capture::ListAudioApplications(); };
    }
    if (!m_hooks.askSoundFile) {
        m_hooks.askSoundFile = [this] { return m_parts.boxes.AskSoundFile(); };
    }
}

void WindowChoices::StartingOptions(pipeline::StartOptions* options) {
    const std::unique_ptr<settings::SettingsKey> key = m_parts.store.Open();
    capture::AudioInputChoice environment;
    std::string error;
    capture::DefaultAudioInputChoice(&environment, &error);  // a malformed value: reported at open
    const StartingInput start =
        ChooseStartingInput(capture::AudioInputChosenByEnvironment(), environment,
                            key->ReadText(settings::kInputValueName), m_hooks.soundServerAnswers);
    m_input = start.choice;
    m_origin = start.origin;
    m_fileAloud = key->ReadInt(kFileAloudValueName).value_or(1) != 0;
    m_fileLoop = key->ReadInt(kFileLoopValueName).value_or(1) != 0;
    capture::SetSoundFilePlayback(m_fileAloud, m_fileLoop);
    // With KINETRA_AUDIO_INPUT set the engine keeps what it was given (the program's choice).
    if (m_origin != InputOrigin::kEnvironment) options->input = m_input;

    if (force::ForceDeviceSetByEnvironment()) {
        // The menu offers the environment's device again after another was chosen.
        m_environmentDevice = std::getenv("KINETRA_FORCE_DEVICE");
    }
    const std::optional<force::ForceDeviceChoice> device = ChooseStartingDevice(
        force::ForceDeviceSetByEnvironment(), key->ReadText(settings::kForceDeviceValueName));
    m_deviceStored = device.has_value();
    if (device.has_value()) {
        options->device = *device;
        m_device = *device;
    } else {
        force::CurrentForceDeviceChoice(&m_device, &error);
    }
}

bool WindowChoices::DropStoredDevice(pipeline::StartOptions* options) {
    if (!m_deviceStored) return false;
    m_deviceStored = false;
    ShowProblem(SwitchProblemText(DescribeForceDeviceChoice(m_device), ForceOpenProblem()), false);
    options->device.reset();
    std::string error;
    force::ClearForceDeviceChoice();
    force::CurrentForceDeviceChoice(&m_device, &error);
    return true;
}

void WindowChoices::ShowProblem(const std::string& problem, bool aboutInput) {
    DebugOutput(("CHOICE: " + problem + "\n").c_str());
    m_problem = problem;
    m_problemIsInput = aboutInput;
    const std::string reasons =
        aboutInput ? capture::RecentAudioInputProblems() : ForceOpenProblem();
    m_problemDetail = (reasons.empty() ? "" : "Why: " + reasons + "\n\n") +
                      (aboutInput ? "What to try: choose another input in the Input menu; "
                                    "the previous input runs meanwhile."
                                  : "What to try: plug the device in and choose it again, or "
                                    "choose another in the Force device menu.");
    m_parts.status.SetProblem(m_problem, m_problemDetail);
    RefreshStatus();
}

void WindowChoices::Started() {
    m_sources = m_hooks.listSources();
    m_started = true;
    RefreshStatus();
}

void WindowChoices::SetShown(bool shown) {
    m_shown = shown;
    if (m_started && shown) RefreshStatus();
}

void WindowChoices::StatusTick() {
    // An owner ticking every 100 ms refreshes every third tick; a slower one at every tick.
    constexpr std::int64_t kEarlyMs = 80;
    if (!m_started || !m_shown) return;
    if (m_parts.timers.NowMs() - m_refreshedMs >= kStatusRefreshMs - kEarlyMs) RefreshStatus();
}

void WindowChoices::RefreshStatus() {
    m_refreshedMs = m_parts.timers.NowMs();
    // A problem shows as a warning of its own (StatusView::SetProblem) until a choice succeeds.
    m_parts.status.SetInputText(
        InputStatusText(m_input, m_sources, capture::CurrentCaptureSourceDescription(), m_origin));
    m_parts.status.SetDeviceText(m_parts.timers.NowMs() < m_noticeUntilMs
                                     ? m_notice
                                     : DeviceStatusText(force::CurrentForceDeviceStatus()));
}

void WindowChoices::ListDevicesOnce() {
    if (m_devicesListed) return;
    m_devices = m_hooks.listDevices();
    m_devicesListed = true;
}

void WindowChoices::RescanDevices() {
    m_devicesListed = false;
    ListDevicesOnce();
    // Says what it found in place of the device part for a while.
    std::string names;
    int found = 0;
    for (const force::ForceDeviceInfo& device : m_devices) {
        if (device.kind == force::ForceDeviceKind::kVirtual) continue;
        names += (found++ == 0 ? ": " : ", ") + device.name;
    }
    m_notice = found == 0 ? "Re-scan found no force device (the virtual ones remain)"
                          : "Re-scan found " + std::to_string(found) + " force device" +
                                (found == 1 ? "" : "s") + names;
    m_noticeUntilMs = m_parts.timers.NowMs() + kNoticeShownMs;
    RefreshStatus();
}

MenuItem WindowChoices::ApplicationsMenu() {
    MenuItem menu;
    menu.kind = MenuItem::Kind::kSubmenu;
    menu.text = "&Applications";
    menu.objectName = "inputApplications";
    menu.exclusive = true;
    auto note = [&menu](const std::string& text) {
        MenuItem item;
        item.text = text;
        item.objectName = "applicationsNote";
        item.enabled = false;
        menu.items.push_back(item);
    };
    if (m_input.backend == capture::AudioBackendChoice::kSdl) {
        note("One application cannot be heard on the SDL audio route (KINETRA_AUDIO_BACKEND=sdl)");
        return menu;
    }
    const capture::AudioApplicationList list = m_hooks.listApplications();
    if (!list.serverAnswered) {
        const std::string problem = capture::LastAudioInputProblem();
        note("No sound server answers" + (problem.empty() ? std::string() : ": " + problem));
        return menu;
    }
    if (!list.unsupported.empty()) {
        note(list.unsupported);
        return menu;
    }
    const std::string current = m_input.kind == capture::AudioInputKind::kApplication
                                    ? InputChoiceText(m_input)
                                    : std::string();
    std::vector<std::string> listed;  // an application with several streams comes once
    for (const capture::AudioApplicationInfo& app : list.applications) {
        const std::string text = capture::ApplicationInputText(app);
        if (std::find(listed.begin(), listed.end(), text) != listed.end()) continue;
        listed.push_back(text);
        MenuItem item = Choice(app.name, "inputApplication", kInputPrefix + text, text == current);
        item.iconName = app.iconName;
        menu.items.push_back(item);
    }
    if (listed.empty()) note("No application plays sound now");
    return menu;
}

std::vector<MenuItem> WindowChoices::MenuItems() {
    using capture::AudioInputKind;
    m_sources = m_hooks.listSources();
    ListDevicesOnce();

    MenuItem input;
    input.kind = MenuItem::Kind::kSubmenu;
    input.text = "&Input";
    input.objectName = "inputMenu";
    input.exclusive = true;
    input.items.push_back(Choice("What this computer plays", "inputMonitor",
                                 std::string(kInputPrefix) + "monitor",
                                 m_input.kind == AudioInputKind::kMonitor));
    std::string defaultText = "Default input";
    if (!m_sources.defaultInputDescription.empty()) {
        defaultText += " (" + m_sources.defaultInputDescription + ")";
    }
    input.items.push_back(Choice(defaultText, "inputDefault", std::string(kInputPrefix) + "default",
                                 m_input.kind == AudioInputKind::kDefault));
    if (!m_sources.sources.empty()) input.items.push_back(MenuItem::Separator());
    for (const capture::AudioSourceInfo& source : m_sources.sources) {
        capture::AudioInputChoice choice = capture::ParseAudioInput(source.id);
        input.items.push_back(
            Choice(source.description, "inputSource", kInputPrefix + InputChoiceText(choice),
                   m_input.kind == AudioInputKind::kNamed && m_input.value == choice.value));
    }
    input.items.push_back(MenuItem::Separator());
    input.items.push_back(ApplicationsMenu());
    std::string fileText = "Sound file\u2026";
    if (m_input.kind == AudioInputKind::kFile) fileText += " (" + FileNameOf(m_input.value) + ")";
    input.items.push_back(
        Choice(fileText, "inputFile", kSoundFileCommand, m_input.kind == AudioInputKind::kFile));
    MenuItem playback;
    playback.kind = MenuItem::Kind::kSubmenu;
    playback.text = "Sound file &playback";
    playback.objectName = "filePlayback";
    playback.items.push_back(
        Choice("Play sound file &aloud", "fileAloud", kFileAloudCommand, m_fileAloud));
    playback.items.push_back(Choice("&Loop", "fileLoop", kFileLoopCommand, m_fileLoop));
    input.items.push_back(playback);

    MenuItem device;
    device.kind = MenuItem::Kind::kSubmenu;
    device.text = "&Force device";
    device.objectName = "deviceMenu";
    device.exclusive = true;
    // Every device found, the virtual one in both its kinds, and the environment's choice when
    // it names none of them (a device that is gone, or a virtual one with options).
    std::vector<force::ForceDeviceInfo> offered = m_devices;
    std::vector<std::string> texts;
    for (const force::ForceDeviceInfo& info : offered) texts.push_back(DeviceMenuText(info));
    force::ForceDeviceInfo rumble{"virtual,kind=rumble", force::kVirtualDefaultName,
                                  force::ForceDeviceKind::kVirtual};
    offered.push_back(rumble);
    texts.push_back(rumble.name + " (virtual rumble)");
    if (!m_environmentDevice.empty()) {
        force::ForceDeviceChoice environment;
        std::string error;
        bool named = !force::ParseForceDeviceChoice(m_environmentDevice, &environment, &error);
        for (const force::ForceDeviceInfo& info : offered) {
            named = named || ChoiceNamesDevice(environment, info);
        }
        if (!named) {
            offered.insert(offered.begin(),
                           {m_environmentDevice, DescribeForceDeviceChoice(environment),
                            force::ForceDeviceKind::kVirtual});
            texts.insert(texts.begin(), DescribeForceDeviceChoice(environment) +
                                            " (KINETRA_FORCE_DEVICE=" + m_environmentDevice + ")");
        }
    }
    // The device named by the choice is checked; for a choice that names none of them (the first
    // SDL device), the one that is open.
    int checked = -1;
    for (std::size_t i = 0; i < offered.size() && checked < 0; ++i) {
        force::ForceDeviceChoice choice;
        std::string error;
        const bool exact = offered[i].id == m_environmentDevice &&
                           force::ParseForceDeviceChoice(offered[i].id, &choice, &error) &&
                           DescribeForceDeviceChoice(choice) == DescribeForceDeviceChoice(m_device);
        if (exact || ChoiceNamesDevice(m_device, offered[i])) checked = static_cast<int>(i);
    }
    const force::ForceDeviceStatus status = force::CurrentForceDeviceStatus();
    for (std::size_t i = 0; i < offered.size() && checked < 0; ++i) {
        if (status.state != force::ForceDeviceState::kNone && offered[i].name == status.name) {
            checked = static_cast<int>(i);
        }
    }
    for (std::size_t i = 0; i < offered.size(); ++i) {
        device.items.push_back(Choice(texts[i], "forceDevice", kDevicePrefix + offered[i].id,
                                      static_cast<int>(i) == checked));
    }
    device.items.push_back(MenuItem::Separator());
    MenuItem rescan;
    rescan.text = "&Re-scan devices";
    rescan.objectName = "rescanDevices";
    rescan.command = kRescanCommand;
    device.items.push_back(rescan);
    return {input, device};
}

bool WindowChoices::RunMenuCommand(const std::string& command) {
    if (command == kRescanCommand) {
        RescanDevices();
    } else if (command == kFileAloudCommand || command == kFileLoopCommand) {
        SetFilePlayback(command == kFileAloudCommand ? !m_fileAloud : m_fileAloud,
                        command == kFileLoopCommand ? !m_fileLoop : m_fileLoop);
    } else if (command == kSoundFileCommand) {
        const std::string path = m_hooks.askSoundFile();
        if (!path.empty()) {
            capture::AudioInputChoice choice;
            choice.kind = capture::AudioInputKind::kFile;
            choice.value = path;
            SwitchInput(choice);
        }
    } else if (command.starts_with(kInputPrefix)) {
        SwitchInput(capture::ParseAudioInput(command.substr(sizeof(kInputPrefix) - 1)));
    } else if (command.starts_with(kDevicePrefix)) {
        SwitchDevice(command.substr(sizeof(kDevicePrefix) - 1));
    } else {
        return false;
    }
    return true;
}

bool WindowChoices::SwitchInput(const capture::AudioInputChoice& input) {
    capture::AudioInputChoice choice = input;
    choice.backend = m_input.backend;  // KINETRA_AUDIO_BACKEND holds for every input
    return Switch(choice, m_device, settings::kInputValueName, InputChoiceText(choice));
}

bool WindowChoices::SwitchDevice(const std::string& deviceText) {
    force::ForceDeviceChoice device;
    std::string error;
    if (!force::ParseForceDeviceChoice(deviceText, &device, &error)) {
        ShowProblem(SwitchProblemText(deviceText, error), false);
        return false;
    }
    return Switch(m_input, device, settings::kForceDeviceValueName, deviceText);
}

bool WindowChoices::Switch(const capture::AudioInputChoice& input,
                           const force::ForceDeviceChoice& device, const char* storeName,
                           const std::string& storeText) {
    capture::ClearAudioInputProblems();
    const RestartOutcome outcome = m_restart(input, device);
    const bool inputFailed =
        !outcome.inputError.empty() || outcome.result == pipeline::StartResult::kNoCaptureBuffer;
    const bool deviceFailed = outcome.result == pipeline::StartResult::kNoDevice ||
                              outcome.result == pipeline::StartResult::kBandMissing;
    if (outcome.result == pipeline::StartResult::kRunning && !inputFailed) {
        m_input = input;
        m_device = device;
        if (storeName == settings::kInputValueName) m_origin = InputOrigin::kMenu;
        Store(storeName, storeText);
        if (!m_problem.empty()) m_parts.status.SetProblem("", "");
        m_problem.clear();
        RefreshStatus();
        return true;
    }

    // Why, before the previous choice's start overwrites the reasons.
    std::string problem;
    if (deviceFailed) {
        problem = SwitchProblemText(DescribeForceDeviceChoice(device), ForceOpenProblem());
    } else if (inputFailed) {
        problem =
            SwitchProblemText(capture::DescribeAudioInput(input), capture::LastAudioInputProblem());
    } else {
        problem = "Could not restart the sound capture";
    }
    const RestartOutcome back = m_restart(m_input, m_device);
    if (back.result != pipeline::StartResult::kRunning || !back.inputError.empty()) {
        problem += "; the previous choice did not start again either";
    }
    ShowProblem(problem, !deviceFailed);
    return false;
}

void WindowChoices::SetFilePlayback(bool aloud, bool loop) {
    m_fileAloud = aloud;
    m_fileLoop = loop;
    capture::SetSoundFilePlayback(aloud, loop);
    const std::unique_ptr<settings::SettingsKey> key = m_parts.store.Open();
    if (key->Writable()) {
        key->WriteInt(kFileAloudValueName, aloud ? 1 : 0);
        key->WriteInt(kFileLoopValueName, loop ? 1 : 0);
        if (!key->Commit()) DebugOutput("SETTINGS: the settings could not be saved\n");
    }
    // A file that plays now starts again with the new choice.
    if (m_input.kind == capture::AudioInputKind::kFile) SwitchInput(m_input);
}

void WindowChoices::Store(const char* name, const std::string& value) {
    const std::unique_ptr<settings::SettingsKey> key = m_parts.store.Open();
    if (!key->Writable()) {
        DebugOutput("SETTINGS: the settings file cannot be written\n");
        return;
    }
    key->WriteText(name, value);
    if (!key->Commit()) DebugOutput("SETTINGS: the settings could not be saved\n");
}

}  // namespace kinetra::window
