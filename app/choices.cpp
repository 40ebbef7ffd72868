#include "app/choices.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTimer>
#include <memory>

#include "app/settings_store.h"
#include "app/status_line.h"
#include "capture/audio_sources.h"
#include "capture/backends/backend_table.h"
#include "force/ond_library.h"
#include "platform/debug_output.h"

namespace kinetra::app {
namespace {

// How often the status line's input and device texts are refreshed.
constexpr int kStatusRefreshMs = 300;
// How long a failed switch's text stays in the status line.
constexpr qint64 kProblemShownMs = 10000;

// What an action of the choice menus does, kept in its "choice" property.
constexpr const char kChoiceProperty[] = "kinetraChoice";
constexpr const char kInputPrefix[] = "input:";
constexpr const char kDevicePrefix[] = "device:";
constexpr const char kSoundFileCommand[] = "sound-file";
constexpr const char kRescanCommand[] = "rescan";

QAction* AddChoice(QMenu* menu, const QString& text, const QString& objectName,
                   const std::string& command, bool checked) {
    QAction* action = menu->addAction(text);
    action->setObjectName(objectName);
    action->setProperty(kChoiceProperty, QString::fromStdString(command));
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

// The first line of the library's reason why the device did not open.
std::string ForceOpenProblem() {
    std::string problem = force::LastForceDeviceProblem();
    if (problem.empty()) problem = force::LastForceProblem();
    return problem;
}

}  // namespace

std::optional<std::string> ReadStoredText(const QSettings& key, const char* name) {
    const QVariant value = key.value(QString::fromLatin1(name));
    if (!value.isValid()) return std::nullopt;
    const std::string text = value.toString().toStdString();
    if (text.empty()) return std::nullopt;
    return text;
}

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

WindowChoices::WindowChoices(QWidget* window, StatusLine* status, Restarter restart)
    : QObject(window), m_window(window), m_status(status), m_restart(std::move(restart)) {
    setObjectName(QStringLiteral("windowChoices"));
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
    if (!m_hooks.askSoundFile) {
        m_hooks.askSoundFile = [](QWidget* parent) {
            return QFileDialog::getOpenFileName(
                parent, QStringLiteral("Sound file"), QString(),
                QStringLiteral("Sound files (*.wav *.flac *.ogg *.oga);;All files (*)"));
        };
    }
}

void WindowChoices::StartingOptions(pipeline::StartOptions* options) {
    const std::unique_ptr<QSettings> key = OpenSettingsKey();
    capture::AudioInputChoice environment;
    std::string error;
    capture::DefaultAudioInputChoice(&environment, &error);  // a malformed value: reported at open
    const StartingInput start =
        ChooseStartingInput(capture::AudioInputChosenByEnvironment(), environment,
                            ReadStoredText(*key, kInputValueName), m_hooks.soundServerAnswers);
    m_input = start.choice;
    m_origin = start.origin;
    // With KINETRA_AUDIO_INPUT set the engine keeps what it was given (the program's choice).
    if (m_origin != InputOrigin::kEnvironment) options->input = m_input;

    const std::optional<force::ForceDeviceChoice> device = ChooseStartingDevice(
        force::ForceDeviceSetByEnvironment(), ReadStoredText(*key, kForceDeviceValueName));
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

void WindowChoices::ShowProblem(const QString& problem, bool aboutInput) {
    DebugOutput(("CHOICE: " + problem.toStdString() + "\n").c_str());
    m_problem = problem;
    m_problemIsInput = aboutInput;
    m_problemAge.start();
    RefreshStatus();
}

void WindowChoices::Started() {
    m_sources = m_hooks.listSources();
    if (m_timer == nullptr) {
        m_timer = new QTimer(this);
        m_timer->setObjectName(QStringLiteral("choiceStatusTimer"));
        connect(m_timer, &QTimer::timeout, this, &WindowChoices::RefreshStatus);
        m_timer->start(kStatusRefreshMs);
    }
    RefreshStatus();
}

void WindowChoices::RefreshStatus() {
    if (m_status == nullptr) return;
    const bool showProblem =
        !m_problem.isEmpty() && m_problemAge.isValid() && m_problemAge.elapsed() < kProblemShownMs;
    if (showProblem && m_problemIsInput) {
        m_status->SetInputText(m_problem);
    } else {
        m_status->SetInputText(InputStatusText(
            m_input, m_sources, capture::CurrentCaptureSourceDescription(), m_origin));
    }
    if (showProblem && !m_problemIsInput) {
        m_status->SetDeviceText(m_problem);
    } else {
        m_status->SetDeviceText(DeviceStatusText(force::CurrentForceDeviceStatus()));
    }
}

void WindowChoices::ListDevicesOnce() {
    if (m_devicesListed) return;
    m_devices = m_hooks.listDevices();
    m_devicesListed = true;
}

void WindowChoices::RescanDevices() {
    m_devicesListed = false;
    ListDevicesOnce();
}

void WindowChoices::AddMenus(QMenu* menu) {
    using capture::AudioInputKind;
    m_sources = m_hooks.listSources();
    ListDevicesOnce();

    QMenu* input = menu->addMenu(QStringLiteral("&Input"));
    input->setObjectName(QStringLiteral("inputMenu"));
    auto* inputGroup = new QActionGroup(input);
    inputGroup->addAction(
        AddChoice(input, QStringLiteral("What this computer plays"), QStringLiteral("inputMonitor"),
                  std::string(kInputPrefix) + "monitor", m_input.kind == AudioInputKind::kMonitor));
    QString defaultText = QStringLiteral("Default input");
    if (!m_sources.defaultInputDescription.empty()) {
        defaultText +=
            QStringLiteral(" (%1)").arg(QString::fromStdString(m_sources.defaultInputDescription));
    }
    inputGroup->addAction(AddChoice(input, defaultText, QStringLiteral("inputDefault"),
                                    std::string(kInputPrefix) + "default",
                                    m_input.kind == AudioInputKind::kDefault));
    if (!m_sources.sources.empty()) input->addSeparator();
    for (const capture::AudioSourceInfo& source : m_sources.sources) {
        capture::AudioInputChoice choice = capture::ParseAudioInput(source.id);
        inputGroup->addAction(
            AddChoice(input, QString::fromStdString(source.description),
                      QStringLiteral("inputSource"), kInputPrefix + InputChoiceText(choice),
                      m_input.kind == AudioInputKind::kNamed && m_input.value == choice.value));
    }
    input->addSeparator();
    QString fileText = QStringLiteral("Sound file\u2026");
    if (m_input.kind == AudioInputKind::kFile) {
        fileText += QStringLiteral(" (%1)").arg(
            QFileInfo(QString::fromStdString(m_input.value)).fileName());
    }
    inputGroup->addAction(AddChoice(input, fileText, QStringLiteral("inputFile"), kSoundFileCommand,
                                    m_input.kind == AudioInputKind::kFile));

    QMenu* device = menu->addMenu(QStringLiteral("&Force device"));
    device->setObjectName(QStringLiteral("deviceMenu"));
    auto* deviceGroup = new QActionGroup(device);
    // The device named by the choice is checked; for a choice that names none of them (the first
    // SDL device), the one that is open.
    int checked = -1;
    for (std::size_t i = 0; i < m_devices.size() && checked < 0; ++i) {
        if (ChoiceNamesDevice(m_device, m_devices[i])) checked = static_cast<int>(i);
    }
    const force::ForceDeviceStatus status = force::CurrentForceDeviceStatus();
    for (std::size_t i = 0; i < m_devices.size() && checked < 0; ++i) {
        if (status.state != force::ForceDeviceState::kNone && m_devices[i].name == status.name) {
            checked = static_cast<int>(i);
        }
    }
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        deviceGroup->addAction(
            AddChoice(device, DeviceMenuText(m_devices[i]), QStringLiteral("forceDevice"),
                      kDevicePrefix + m_devices[i].id, static_cast<int>(i) == checked));
    }
    device->addSeparator();
    QAction* rescan = device->addAction(QStringLiteral("&Re-scan devices"));
    rescan->setObjectName(QStringLiteral("rescanDevices"));
    rescan->setProperty(kChoiceProperty, QString::fromLatin1(kRescanCommand));
}

bool WindowChoices::RunMenuChoice(const QAction* action) {
    if (action == nullptr) return false;
    const QVariant property = action->property(kChoiceProperty);
    if (!property.isValid()) return false;
    const std::string command = property.toString().toStdString();
    if (command == kRescanCommand) {
        RescanDevices();
    } else if (command == kSoundFileCommand) {
        const QString path = m_hooks.askSoundFile(m_window);
        if (!path.isEmpty()) {
            capture::AudioInputChoice choice;
            choice.kind = capture::AudioInputKind::kFile;
            choice.value = path.toStdString();
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
    return Switch(choice, m_device, kInputValueName, InputChoiceText(choice));
}

bool WindowChoices::SwitchDevice(const std::string& deviceText) {
    force::ForceDeviceChoice device;
    std::string error;
    if (!force::ParseForceDeviceChoice(deviceText, &device, &error)) {
        ShowProblem(SwitchProblemText(deviceText, error), false);
        return false;
    }
    return Switch(m_input, device, kForceDeviceValueName, deviceText);
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
        if (storeName == kInputValueName) m_origin = InputOrigin::kMenu;
        Store(storeName, storeText);
        m_problem.clear();
        RefreshStatus();
        return true;
    }

    // Why, before the previous choice's start overwrites the reasons.
    QString problem;
    if (deviceFailed) {
        problem = SwitchProblemText(DescribeForceDeviceChoice(device), ForceOpenProblem());
    } else if (inputFailed) {
        problem =
            SwitchProblemText(capture::DescribeAudioInput(input), capture::LastAudioInputProblem());
    } else {
        problem = QStringLiteral("Could not restart the sound capture");
    }
    const RestartOutcome back = m_restart(m_input, m_device);
    if (back.result != pipeline::StartResult::kRunning || !back.inputError.empty()) {
        problem += QStringLiteral("; the previous choice did not start again either");
    }
    ShowProblem(problem, !deviceFailed);
    return false;
}

void WindowChoices::Store(const char* name, const std::string& value) {
    const std::unique_ptr<QSettings> key = OpenSettingsKey();
    if (!key->isWritable()) {
        DebugOutput("SETTINGS: the settings file cannot be written\n");
        return;
    }
    key->setValue(QString::fromLatin1(name), QString::fromStdString(value));
    if (!SyncSettingsKey(*key)) DebugOutput("SETTINGS: the settings could not be saved\n");
}

}  // namespace kinetra::app
