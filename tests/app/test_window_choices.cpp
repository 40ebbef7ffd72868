// Choosing the input and the force device in the main window while blocks flow: the pipeline
// restarts with the window's state kept, a failed switch leaves the previous choice running and
// says why in the status line, the choices are stored, and the device's state shows.
#include <QAction>
#include <QMenu>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/qt_toolkit.h"
#include "dialog_fixture.h"
#include "force/force_devices.h"

namespace {

using kinetra::capture::AudioInputChoice;
using kinetra::capture::AudioInputKind;

class WindowChoicesTest : public kinetra::test::DialogFixture {
protected:
    // Start() with the machine replaced: one sound server source list, the virtual devices.
    bool StartWithHooks(const char* forceDevice, bool serverAnswers = false) {
        m_device.reset();
        m_device = std::make_unique<kinetra::test::ScopedEnv>("KINETRA_FORCE_DEVICE", forceDevice);
        m_dlg = std::make_unique<CVibrelDlg>();
        auto script = m_script;
        m_dlg->CaptureForSetup().SetDeviceOpener(
            [this, script](const std::string& id,
                           std::unique_ptr<kinetra::capture::ICaptureDevice>* d) {
                if (m_failNextOpen.exchange(false)) {
                    kinetra::capture::ReportAudioInputProblem("no such file");
                    return kinetra::capture::kFail;
                }
                return script->Open(id, d);
            });
        m_dlg->CaptureForSetup().SetDeviceEnumerator([] {
            return std::vector<kinetra::capture::CaptureDeviceInfo>{{"", "scripted input"}};
        });
        kinetra::window::ChoiceHooks hooks;
        hooks.listSources = [] {
            kinetra::capture::AudioSourceList list;
            list.serverAnswered = true;
            list.sources = {{"usb-mic", "USB Microphone", false}};
            list.defaultOutputDescription = "Built-in Audio";
            return list;
        };
        hooks.soundServerAnswers = [serverAnswers] { return serverAnswers; };
        hooks.listDevices = [] {
            return std::vector<kinetra::force::ForceDeviceInfo>{
                {"virtual:Orbit 3D", "Orbit 3D", kinetra::force::ForceDeviceKind::kVirtual},
                {"virtual:Broken,fail=open", "Broken", kinetra::force::ForceDeviceKind::kVirtual},
                {"virtual", "Kinetra Virtual Mouse", kinetra::force::ForceDeviceKind::kVirtual}};
        };
        hooks.askSoundFile = [] { return std::string("/music/beat.wav"); };
        m_dlg->Choices()->SetHooks(hooks);
        const bool started = m_dlg->OnInitDialog();
        if (started) m_dlg->show();
        return started;
    }

    std::string InputText() const { return m_dlg->Status()->InputText().toStdString(); }
    std::string DeviceText() const { return m_dlg->Status()->DeviceText().toStdString(); }
    static std::string ProductName() {
        return kinetra::force::GetVirtualDeviceSnapshot().productName;
    }
    static std::string StoredText(const char* name) {
        auto key = kinetra::settings::OpenSettingsKey();
        return kinetra::settings::ReadStoredText(*key, name).value_or("(none)");
    }

    std::atomic<bool> m_failNextOpen{false};
};

// Appends one block of noise whose loudness changes from block to block, so that the mappers'
// magnitudes change and every block reaches the device.
void AppendNoise(kinetra::capture::ScriptedCapture* script, std::uint32_t* seed) {
    std::vector<std::int16_t> block(1024);
    *seed = *seed * 1664525u + 1013904223u;
    const int amplitude = 500 + static_cast<int>((*seed >> 16) % 20000);
    for (std::int16_t& sample : block) {
        *seed = *seed * 1664525u + 1013904223u;
        sample = static_cast<std::int16_t>(static_cast<int>((*seed >> 16) % 2001) - 1000) *
                 amplitude / 1000;
    }
    script->Append(block.data(), 1024);
}

// Feeds blocks from its own thread while it lives, as a running sound source does.
class BlockFeeder {
public:
    explicit BlockFeeder(std::shared_ptr<kinetra::capture::ScriptedCapture> script)
        : m_thread([this, script] {
              std::uint32_t seed = 1;
              while (!m_stop.load()) {
                  AppendNoise(script.get(), &seed);
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
          }) {}
    ~BlockFeeder() {
        m_stop.store(true);
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST_F(WindowChoicesTest, SwitchesInputAndDeviceWhileBlocksFlowKeepingTheWindowsState) {
    ASSERT_TRUE(StartWithHooks("virtual"));
    m_dlg->SetResponseMode(MapperMode::kHits);
    Click(m_dlg->DisableBox(3));
    Key(1, Qt::Key_Down, 3);  // level 1 to 23, the others follow
    const int level1 = Pos(1);
    {
        BlockFeeder feeder(m_script);
        for (int round = 0; round < 3; ++round) {
            ASSERT_TRUE(m_dlg->Choices()->SwitchDevice("virtual:Orbit 3D"));
            ASSERT_TRUE(m_dlg->Choices()->SwitchInput({AudioInputKind::kMonitor, {}}));
            ASSERT_TRUE(m_dlg->Choices()->SwitchDevice("virtual"));
        }
        ASSERT_TRUE(m_dlg->Choices()->SwitchDevice("virtual:Orbit 3D"));
        // Blocks reach the new mappers.
        const auto before = kinetra::force::GetVirtualDeviceSnapshot().updates;
        EXPECT_TRUE(kinetra::test::WaitUntil(
            [&] { return kinetra::force::GetVirtualDeviceSnapshot().updates > before + 20; }));
    }
    EXPECT_TRUE(m_dlg->Capture().IsThreadRunning());
    EXPECT_EQ(ProductName(), "Orbit 3D");
    for (int band = 1; band <= 5; ++band) {
        ASSERT_NE(m_dlg->Mapper(band), nullptr) << band;
        EXPECT_EQ(m_dlg->Mapper(band)->Mode(), MapperMode::kHits) << band;
    }
    ExpectThreshold(1, level1);
    auto shown = kinetra::force::GetVirtualDeviceSnapshot();
    EXPECT_TRUE(shown.effects[0].playing);
    EXPECT_FALSE(shown.effects[2].playing);  // band 3 stays disabled

    // The tray's pause survives a restart too.
    m_dlg->PauseEffects(true);
    ASSERT_TRUE(m_dlg->Choices()->SwitchDevice("virtual"));
    shown = kinetra::force::GetVirtualDeviceSnapshot();
    for (int slot = 0; slot < 5; ++slot) EXPECT_FALSE(shown.effects[slot].playing) << slot;
    m_dlg->PauseEffects(false);
    EXPECT_TRUE(kinetra::force::GetVirtualDeviceSnapshot().effects[0].playing);

    m_dlg->Choices()->RefreshStatus();
    EXPECT_EQ(InputText(), "What this computer plays \u2014 Built-in Audio");
    EXPECT_EQ(DeviceText(), "Kinetra Virtual Mouse \u00b7 virtual \u00b7 connected");
    EXPECT_EQ(StoredText("input"), "monitor");
    EXPECT_EQ(StoredText("forceDevice"), "virtual");
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(WindowChoicesTest, AFailedSwitchKeepsThePreviousChoiceRunningAndSaysWhy) {
    ASSERT_TRUE(StartWithHooks("virtual:Orbit 3D"));
    const AudioInputChoice before = m_dlg->Choices()->Input();

    EXPECT_FALSE(m_dlg->Choices()->SwitchDevice("virtual:Broken,fail=open"));
    // The reason shows as the status line's warning, which stays until a choice succeeds.
    const std::string problem = m_dlg->Status()->ProblemText().toStdString();
    EXPECT_EQ(problem.rfind("Could not open Broken: ", 0), 0u) << problem;
    EXPECT_EQ(ProductName(), "Orbit 3D");
    EXPECT_EQ(kinetra::force::GetVirtualDeviceSnapshot().effectCount, 5);
    EXPECT_EQ(m_dlg->Choices()->Device().virtualName, "Orbit 3D");
    FeedOneBlock();

    m_failNextOpen.store(true);
    EXPECT_FALSE(m_dlg->Choices()->SwitchInput({AudioInputKind::kFile, "/nowhere/beat.wav"}));
    EXPECT_EQ(m_dlg->Status()->ProblemText().toStdString(),
              "Could not open sound file /nowhere/beat.wav: no such file");
    EXPECT_EQ(m_dlg->Choices()->Input().kind, before.kind);
    EXPECT_TRUE(m_dlg->Capture().IsThreadRunning());
    FeedOneBlock();

    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_FALSE(m_dlg->QuitRequested());
    EXPECT_EQ(StoredText("input"), "(none)");
    EXPECT_EQ(StoredText("forceDevice"), "(none)");
}

TEST_F(WindowChoicesTest, TheMenuOffersAndRunsTheChoices) {
    ASSERT_TRUE(StartWithHooks("virtual", true));
    // First run with a sound server: what this computer plays, and why.
    EXPECT_EQ(m_dlg->Choices()->Input().kind, AudioInputKind::kMonitor);
    EXPECT_NE(InputText().find("(first start: chosen so that Test can be felt)"),
              std::string::npos);

    QMenu menu;
    kinetra::app::AddMenuItems(&menu, m_dlg->Choices()->MenuItems());
    auto* input = menu.findChild<QMenu*>(QStringLiteral("inputMenu"));
    auto* device = menu.findChild<QMenu*>(QStringLiteral("deviceMenu"));
    ASSERT_NE(input, nullptr);
    ASSERT_NE(device, nullptr);
    QStringList texts;
    for (QAction* action : input->actions()) {
        if (!action->isSeparator()) texts << action->text() + (action->isChecked() ? "*" : "");
    }
    EXPECT_EQ(texts.join(" | ").toStdString(),
              "What this computer plays* | Default input | USB Microphone | &Applications | Sound "
              "file\u2026 | Sound file &playback");
    texts.clear();
    for (QAction* action : device->actions()) {
        if (!action->isSeparator()) texts << action->text() + (action->isChecked() ? "*" : "");
    }
    EXPECT_EQ(texts.join(" | ").toStdString(),
              "Orbit 3D (virtual) | Broken (virtual) | Kinetra Virtual Mouse (virtual)* | "
              "Kinetra Virtual Mouse (virtual rumble) | &Re-scan devices");

    // "Sound file…" asks for a file and switches to it.
    ASSERT_TRUE(m_dlg->Choices()->RunMenuCommand(
        kinetra::app::MenuCommand(input->findChild<QAction*>(QStringLiteral("inputFile")))));
    EXPECT_EQ(m_dlg->Choices()->Input().kind, AudioInputKind::kFile);
    m_dlg->Choices()->RefreshStatus();
    EXPECT_EQ(InputText(), "Sound file \u2014 beat.wav");
    EXPECT_EQ(StoredText("input"), "file:/music/beat.wav");
    // A source by its description.
    ASSERT_TRUE(
        m_dlg->Choices()->RunMenuCommand(kinetra::app::MenuCommand(input->actions().at(3))));
    m_dlg->Choices()->RefreshStatus();
    EXPECT_EQ(InputText(), "Microphone \u2014 USB Microphone");
    EXPECT_FALSE(m_dlg->Choices()->RunMenuCommand(kinetra::app::MenuCommand(nullptr)));
}

TEST_F(WindowChoicesTest, TheStoredChoicesHoldUnlessTheEnvironmentSetsOthers) {
    Store("threshold1", 40);
    {
        auto key = kinetra::settings::OpenSettingsKey();
        key->setValue(QStringLiteral("input"), QStringLiteral("usb-mic"));
        key->setValue(QStringLiteral("forceDevice"), QStringLiteral("virtual:Orbit 3D"));
        kinetra::settings::SyncSettingsKey(*key);
    }
    {
        kinetra::test::ScopedEnv input("KINETRA_AUDIO_INPUT", nullptr);
        ASSERT_TRUE(StartWithHooks(nullptr));
        EXPECT_EQ(m_dlg->Choices()->Input().kind, AudioInputKind::kNamed);
        EXPECT_EQ(m_dlg->Choices()->Input().value, "usb-mic");
        EXPECT_EQ(ProductName(), "Orbit 3D");
        EXPECT_EQ(Pos(1), 40);
        m_dlg->OnDestroy();
        m_dlg.reset();
    }
    {
        kinetra::test::ScopedEnv input("KINETRA_AUDIO_INPUT", "default");
        ASSERT_TRUE(StartWithHooks("virtual:Primax FX"));
        EXPECT_EQ(m_dlg->Choices()->Input().kind, AudioInputKind::kDefault);
        EXPECT_EQ(m_dlg->Choices()->Origin(), kinetra::window::InputOrigin::kEnvironment);
        EXPECT_EQ(ProductName(), "Primax FX");
    }
    EXPECT_EQ(StoredText("input"), "usb-mic");  // an overridden choice stays stored
}

TEST_F(WindowChoicesTest, AnUnpluggedDeviceShowsInTheStatusLineAndReconnects) {
    ASSERT_TRUE(StartWithHooks("virtual:Pad,kind=rumble,unplug-after=12,replug-after=200"));
    m_dlg->Choices()->RefreshStatus();
    EXPECT_EQ(DeviceText(), "Pad \u00b7 virtual rumble \u00b7 connected");
    std::uint32_t seed = 7;
    auto feedUntil = [&](kinetra::force::ForceDeviceState state) {
        return kinetra::test::WaitUntil(
            [&] {
                AppendNoise(m_script.get(), &seed);
                return kinetra::force::CurrentForceDeviceState() == state;
            },
            15000);
    };
    ASSERT_TRUE(feedUntil(kinetra::force::ForceDeviceState::kDisconnectedWaiting));
    EXPECT_TRUE(kinetra::test::WaitUntil([&] {
        return DeviceText() == "Pad \u00b7 virtual rumble \u00b7 disconnected, waiting";
    })) << DeviceText();
    ASSERT_TRUE(feedUntil(kinetra::force::ForceDeviceState::kReconnected));
    EXPECT_TRUE(kinetra::test::WaitUntil([&] {
        return DeviceText() == "Pad \u00b7 virtual rumble \u00b7 reconnected";
    })) << DeviceText();
}

}  // namespace
