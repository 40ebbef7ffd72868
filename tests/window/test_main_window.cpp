// The window's behaviour against a fake view, without a toolkit: start-up from the stored
// settings, the Disable boxes and Locked, presets' names and stored values, and "Feel each band"
// stepped by its timer, on the virtual device with a scripted audio input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <variant>

#include "force/force_channel.h"
#include "force/virtual_device.h"
#include "support/scoped_env.h"
#include "support/scripted_capture.h"
#include "support/wait_for.h"
#include "window/band_texts.h"
#include "window/main_window.h"

namespace {

using namespace kinetra::window;
using kinetra::force::GetVirtualDeviceSnapshot;
using kinetra::settings::SettingsKey;

// The settings in memory; a key sees what was committed when it was opened.
class FakeStore final : public kinetra::settings::SettingsStore {
public:
    using Values = std::map<std::string, std::variant<std::int32_t, std::string>>;
    Values values;
    std::unique_ptr<SettingsKey> Open() override { return std::make_unique<Key>(*this); }

private:
    struct Key final : SettingsKey {
        explicit Key(FakeStore& store) : store(store), values(store.values) {}
        std::optional<std::int32_t> ReadInt(const std::string& name) const override {
            auto it = values.find(name);
            if (it == values.end() || !std::holds_alternative<std::int32_t>(it->second)) return {};
            return std::get<std::int32_t>(it->second);
        }
        std::optional<std::string> ReadText(const std::string& name) const override {
            auto it = values.find(name);
            if (it == values.end() || !std::holds_alternative<std::string>(it->second)) return {};
            return std::get<std::string>(it->second);
        }
        std::vector<std::string> Groups(const std::string& group) const override {
            std::vector<std::string> groups;
            for (const auto& [name, value] : values) {
                if (!name.starts_with(group + '/')) continue;
                const std::string rest = name.substr(group.size() + 1);
                const std::size_t slash = rest.find('/');
                if (slash == std::string::npos) continue;
                if (groups.empty() || groups.back() != rest.substr(0, slash)) {
                    groups.push_back(rest.substr(0, slash));
                }
            }
            return groups;
        }
        bool Writable() const override { return true; }
        void WriteInt(const std::string& name, std::int32_t value) override {
            values[name] = value;
        }
        void WriteText(const std::string& name, const std::string& value) override {
            values[name] = value;
        }
        bool Remove(const std::string& name) override {
            std::erase_if(values, [&](const auto& v) { return v.first.starts_with(name + '/'); });
            return true;
        }
        bool Commit() override { return store.values = values, true; }
        std::string Location() const override { return "memory"; }
        FakeStore& store;
        Values values;
    };
};

struct FakeTimer final : Timer {
    explicit FakeTimer(std::function<void()> fire) : fire(std::move(fire)) {}
    void Start(int ms) override { active = true, interval = ms; }
    void Stop() override { active = false; }
    bool Active() const override { return active; }
    int IntervalMs() const override { return interval; }
    std::function<void()> fire;
    bool active = false;
    int interval = 0;
};

// The controls as plain state (sliders limit positions to 0..100), and records of the rest.
struct FakeView final : WindowControls,
                        StatusView,
                        MeterView,
                        Timers,
                        MessageBoxes,
                        DocumentOpener,
                        SoundPlayer,
                        StartupDesktop {
    int level[5] = {};
    bool enabled[5] = {true, true, true, true, true};
    bool ticks[5] = {};
    bool disabled[5] = {};
    int strength = 0;
    bool locked = false;
    std::vector<std::string> boxes;
    std::vector<std::string> answers;  // AskText's answers, in turn
    std::vector<FakeTimer*> timers;

    int LevelPosition(int band) const override { return level[band - 1]; }
    void SetLevelPosition(int band, int p) override { level[band - 1] = std::clamp(p, 0, 100); }
    void SetLevelEnabled(int band, bool on) override { enabled[band - 1] = on; }
    void SetLevelTicks(int band, bool shown) override { ticks[band - 1] = shown; }
    int StrengthPosition() const override { return strength; }
    void SetStrengthPosition(int p) override { strength = std::clamp(p, 0, 100); }
    bool DisableChecked(int band) const override { return disabled[band - 1]; }
    bool LockedChecked() const override { return locked; }
    void SetLockedChecked(bool on) override { locked = on; }
    void CloseLater() override {}
    std::string deviceText, hint;
    SliderMeter meter[5];
    void SetInputText(const std::string&) override {}
    void SetDeviceText(const std::string& text) override { deviceText = text; }
    void SetHintText(const std::string& text) override { hint = text; }
    void SetLevelMeter(int band, const SliderMeter& m) override { meter[band - 1] = m; }
    void SetStrengthMeter(const SliderMeter&) override {}
    std::unique_ptr<Timer> MakeTimer(bool, std::function<void()> fire) override {
        auto timer = std::make_unique<FakeTimer>(std::move(fire));
        timers.push_back(timer.get());
        return timer;
    }
    std::int64_t NowMs() const override { return now; }
    std::int64_t now = 0;
    void ShowMessage(const std::string& text, const std::string&, MessageIcon,
                     const std::string&) override {
        boxes.push_back(text);
    }
    bool AskText(const std::string&, const std::string&, std::string* text) override {
        if (answers.empty()) return false;
        *text = answers.front();
        answers.erase(answers.begin());
        return true;
    }
    std::string AskSoundFile() override { return {}; }
    bool OpenDocument(const std::string&, const std::string&) override { return true; }
    void PlayTestSound() override {}
    void StopTestSound() override {}
    void CheckDesktopProgram() override {}
    void* OwnerInstance() override { return nullptr; }
    void* OwnerWindow() override { return nullptr; }
};

class MainWindowTest : public ::testing::Test {
protected:
    void TearDown() override { m_window.reset(); }

    bool Start(const char* forceDevice = "virtual") {
        m_window.reset();
        m_device.reset();  // before the next one saves what it finds
        m_device = std::make_unique<kinetra::test::ScopedEnv>("KINETRA_FORCE_DEVICE", forceDevice);
        m_window = std::make_unique<MainWindow>(
            WindowParts{m_view, m_view, m_view, m_view, m_view, m_store, m_view, m_view, m_view});
        m_window->CaptureForSetup().SetDeviceOpener(
            [script = m_script](const std::string& id, auto* device) {
                return script->Open(id, device);
            });
        return m_window->OnInitDialog();
    }
    // Band's mapper has the threshold of position: e^(position / 5), integer division.
    void ExpectThreshold(int band, int position) {
        const double expected = std::exp(static_cast<double>(position / 5));
        ASSERT_NE(m_window->Mapper(band), nullptr);
        EXPECT_NEAR(m_window->Mapper(band)->Threshold(), expected, expected * 1e-12) << band;
    }
    void Toggle(bool* box, int band) {
        *box = !*box;
        if (band == 0) {
            m_window->OnLocked();
        } else {
            m_window->OnDisable(band);
        }
    }
    static std::vector<bool> Playing() {
        const auto device = GetVirtualDeviceSnapshot();
        std::vector<bool> playing;
        for (int slot = 0; slot < 5; ++slot) playing.push_back(device.effects[slot].playing);
        return playing;
    }

    FakeView m_view;
    FakeStore m_store;
    std::shared_ptr<kinetra::capture::ScriptedCapture> m_script =
        kinetra::capture::ScriptedCapture::Create();
    std::unique_ptr<kinetra::test::ScopedEnv> m_device;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(MainWindowTest, StoredPositionsComeBackAndAreLimitedBySliders) {
    m_store.values = {{"threshold1", 35}, {"threshold2", 250}, {"threshold3", -7},
                      {"threshold4", 4},  {"threshold5", 100}, {"gain", 150}};
    ASSERT_TRUE(Start());
    EXPECT_EQ(std::vector<int>(m_view.level, m_view.level + 5),
              (std::vector<int>{35, 100, 0, 4, 100}));
    EXPECT_EQ(m_window->LastLevel1(), 35);
    EXPECT_EQ(m_view.strength, 0);  // 100 - 150 limited to the top
    for (int band = 1; band <= 5; ++band) ExpectThreshold(band, m_view.level[band - 1]);
    m_window->OnDestroy();
    EXPECT_EQ(m_store.values["threshold2"], FakeStore::Values::mapped_type(100));
    EXPECT_EQ(m_store.values["threshold3"], FakeStore::Values::mapped_type(0));
    EXPECT_EQ(m_store.values["gain"], FakeStore::Values::mapped_type(100));
}

TEST_F(MainWindowTest, MissingBandTwoThreeOrFourEndsStartupWithoutAMessage) {
    for (const char* device : {"virtual,effects=1", "virtual,effects=2", "virtual,effects=3"}) {
        EXPECT_FALSE(Start(device)) << device;
        EXPECT_TRUE(m_view.boxes.empty()) << device;
        EXPECT_EQ(m_window->QuitCode(), 1) << device;
        EXPECT_FALSE(m_window->Capture().IsThreadRunning());
        m_window->OnDestroy();
        EXPECT_EQ(CForceChannel::ChannelCount(), 0) << device;
        EXPECT_EQ(GetVirtualDeviceSnapshot().connections, 0) << device;
    }
}

// Locked: the Disable boxes switch the effects only; free: their sliders too; Locked again:
// slider 1 on, the followers off without ticks.
TEST_F(MainWindowTest, DisableBoxesAndLockedDecideWhichSlidersTakeInput) {
    ASSERT_TRUE(Start());
    Toggle(&m_view.disabled[3], 4);
    EXPECT_EQ(Playing(), (std::vector<bool>{true, true, true, false, true}));
    Toggle(&m_view.disabled[3], 4);
    Toggle(&m_view.disabled[2], 3);
    EXPECT_FALSE(m_view.enabled[3]);  // still a follower
    Toggle(&m_view.locked, 0);        // free
    EXPECT_EQ(std::vector<bool>(m_view.enabled, m_view.enabled + 5),
              (std::vector<bool>{true, true, false, true, true}));
    EXPECT_EQ(std::vector<bool>(m_view.ticks, m_view.ticks + 5), std::vector<bool>(5, true));
    Toggle(&m_view.disabled[0], 1);
    Toggle(&m_view.disabled[2], 3);
    EXPECT_EQ(std::vector<bool>(m_view.enabled, m_view.enabled + 5),
              (std::vector<bool>{false, true, true, true, true}));
    Toggle(&m_view.locked, 0);  // Locked again
    EXPECT_EQ(std::vector<bool>(m_view.enabled, m_view.enabled + 5),
              (std::vector<bool>{true, false, false, false, false}));
    EXPECT_EQ(std::vector<bool>(m_view.ticks, m_view.ticks + 5),
              (std::vector<bool>{true, false, false, false, false}));
}

// The names of the presets in the menu's Presets submenu that are ticked.
std::vector<std::string> TickedPresets(const std::vector<MenuItem>& menu) {
    std::vector<std::string> ticked;
    for (const MenuItem& item : menu) {
        if (item.objectName != "presetsMenu") continue;
        for (const MenuItem& preset : item.items) {
            if (preset.checked) ticked.push_back(preset.text);
        }
    }
    return ticked;
}

// A refused name is asked for again; the preset in use is ticked; saved ones are renamed and
// deleted.
TEST_F(MainWindowTest, PresetNamesAreAskedAgainAfterARefusalAndSavedOnesRenamedAndDeleted) {
    ASSERT_TRUE(Start());
    m_window->ApplyPreset({{1, 2, 3, 4, 5}, 6});
    m_view.answers = {"   ", "music", "GAMES", "12345678901234567890123456789012345678901", "Mine"};
    m_window->OnSavePreset();
    EXPECT_EQ(m_view.boxes,
              (std::vector<std::string>{
                  "A preset needs a name.",
                  "\"Music\" is a preset that comes with Kinetra; choose another name.",
                  "\"Games\" is a preset that comes with Kinetra; choose another name.",
                  "A preset's name may have 40 characters at most."}));
    EXPECT_EQ(TickedPresets(m_window->ContextMenu()), std::vector<std::string>{"Mine"});
    m_view.answers = {"Films", "Yours"};
    m_window->RunMenuCommand("preset-rename:3");
    ASSERT_EQ(ReadSavedPresets(*m_store.Open()).size(), 1u);
    EXPECT_EQ(ReadSavedPresets(*m_store.Open())[0].name, "Yours");
    EXPECT_EQ(m_view.boxes.size(), 5u);
    m_window->ContextMenu();
    m_window->RunMenuCommand("preset-delete:3");
    EXPECT_TRUE(ReadSavedPresets(*m_store.Open()).empty());

    m_store.values = {{"presets/odd/threshold1", 250},
                      {"presets/odd/threshold2", -3},
                      {"presets/odd/threshold3", std::string("loud")},
                      {"presets/odd/gain", 130}};
    const auto saved = ReadSavedPresets(*m_store.Open());
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].positions, (PresetPositions{{100, 0, 20, 20, 20}, 0}));
}

// The status line comes in the meters' wake-ups: no timer of its own, refreshed by their tick
// once 300 ms have passed.
TEST_F(MainWindowTest, TheMetersTicksRefreshTheStatusLine) {
    ASSERT_TRUE(Start());
    FakeTimer* meters = nullptr;
    for (FakeTimer* t : m_view.timers) {
        EXPECT_FALSE(t->active && t->interval != LiveMeters::kIntervalMs) << t->interval;
        meters = t->interval == LiveMeters::kIntervalMs ? t : meters;
    }
    ASSERT_NE(meters, nullptr);
    m_view.deviceText.clear();
    meters->fire();
    EXPECT_EQ(m_view.deviceText, "");  // refreshed at the start
    m_view.now += 300;
    meters->fire();
    EXPECT_NE(m_view.deviceText, "");
}

TEST_F(MainWindowTest, FeelEachBandPlaysEachBandAloneInTurnAndTheStateComesBack) {
    ASSERT_TRUE(Start());
    Toggle(&m_view.disabled[1], 2);  // a disabled band plays too, and stays disabled afterwards
    FeelBands& feel = m_window->FeelSequence();
    FakeTimer* meters = nullptr;
    for (FakeTimer* t : m_view.timers) meters = t->interval == LiveMeters::kIntervalMs ? t : meters;
    ASSERT_NE(meters, nullptr);
    meters->fire();  // no sound: nothing moves, the meters slow down
    EXPECT_EQ(meters->interval, LiveMeters::kIdleIntervalMs);
    m_window->OnFeelBands();
    EXPECT_EQ(meters->interval, LiveMeters::kIntervalMs);  // the sequence lights at full rate
    ASSERT_TRUE(feel.Running());
    EXPECT_FALSE(m_window->CanFeelBands());  // one at a time
    EXPECT_EQ(feel.PendingStepMs(), 200);
    FakeTimer* timer = nullptr;  // the sequence's: the one waiting 200 ms before band 1
    for (FakeTimer* t : m_view.timers) timer = t->active && t->interval == 200 ? t : timer;
    ASSERT_NE(timer, nullptr);
    for (int band = 1; band <= 5; ++band) {
        timer->fire();
        EXPECT_EQ(feel.PendingStepMs(), 300) << band;
        // The playing band's groove alone is lit, and the hint names it.
        meters->fire();
        for (int k = 1; k <= 5; ++k) EXPECT_EQ(m_view.meter[k - 1].lit, k == band) << band;
        EXPECT_EQ(m_view.hint, "Feel each band: " + BandCaptionLabel(band));
        std::vector<bool> alone(5, false);
        alone[band - 1] = true;
        EXPECT_EQ(Playing(), alone) << band;
        EXPECT_EQ(GetVirtualDeviceSnapshot().effects[band - 1].magnitude, 8000u);
        if (band == 2) Toggle(&m_view.disabled[3], 4);  // only changes what comes back
        timer->fire();
        EXPECT_EQ(feel.PendingStepMs(), band < 5 ? 200 : -1);
    }
    EXPECT_FALSE(feel.Running());
    EXPECT_EQ(Playing(), (std::vector<bool>{true, false, true, false, true}));
    // The sound drives the bands again: a loud 86 Hz tone after silence fires band 1.
    std::vector<std::int16_t> tone(1024, 0);
    m_script->Append(tone.data(), 1024);
    for (std::size_t i = 0; i < tone.size(); ++i) {
        tone[i] =
            static_cast<std::int16_t>(20000 * std::sin(2 * std::numbers::pi * 86.0 * i / 44100.0));
    }
    m_script->Append(tone.data(), 1024);
    EXPECT_TRUE(kinetra::test::WaitFor(
        [] { return GetVirtualDeviceSnapshot().effects[0].magnitude != 0; }));
    // Hidden, nothing is drawn.
    m_window->SetShown(false);
    EXPECT_FALSE(meters->active);
}

// The force device menu: the environment's device (found by no scan) ticked, every device found,
// the virtual one in both kinds; a re-scan says what it found.
TEST(ForceDeviceMenu, OffersTheEnvironmentsDeviceAndTheVirtualKindsAndSaysWhatARescanFound) {
    kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "virtual:Rumble Pad,kind=rumble");
    FakeView view;
    FakeStore store;
    WindowChoices choices(ChoiceParts{store, view, view, view},
                          [](const auto&, const auto&) { return RestartOutcome{}; });
    ChoiceHooks hooks;
    hooks.listSources = [] { return kinetra::capture::AudioSourceList{}; };
    hooks.listApplications = [] { return kinetra::capture::AudioApplicationList{}; };
    hooks.soundServerAnswers = [] { return false; };
    hooks.listDevices = [] {
        return std::vector<kinetra::force::ForceDeviceInfo>{
            {"sdl:Pad", "Pad", kinetra::force::ForceDeviceKind::kRumble},
            {"virtual", "Kinetra Virtual Mouse", kinetra::force::ForceDeviceKind::kVirtual}};
    };
    choices.SetHooks(hooks);
    kinetra::pipeline::StartOptions options;
    choices.StartingOptions(&options);
    std::vector<std::string> entries;
    const std::vector<MenuItem> menu = choices.MenuItems();
    for (const MenuItem& item : menu[1].items) {
        entries.push_back((item.checked ? "* " : "") + item.text);
    }
    EXPECT_EQ(entries, (std::vector<std::string>{
                           "* Rumble Pad (KINETRA_FORCE_DEVICE=virtual:Rumble Pad,kind=rumble)",
                           "Pad (rumble)", "Kinetra Virtual Mouse (virtual)",
                           "Kinetra Virtual Mouse (virtual rumble)", "", "&Re-scan devices"}));
    choices.RunMenuCommand("rescan");
    EXPECT_EQ(view.deviceText, "Re-scan found 1 force device: Pad");
}

}  // namespace

// Input → Applications: an application's streams come once, with its icon; choosing one stores
// "app:NAME|BINARY" and ticks it; without a server that can hear one stream, the reason shows.
TEST(ApplicationsMenu, ListsEachApplicationOnceAndStoresTheChoice) {
    using kinetra::capture::AudioApplicationList;
    FakeView view;
    FakeStore store;
    WindowChoices choices(ChoiceParts{store, view, view, view},
                          [](const auto&, const auto&) { return RestartOutcome{}; });
    AudioApplicationList list{true,
                              "",
                              {{"Game", "game", "game-icon", 7, 0, false},
                               {"Game", "game", "", 9, 0, true},
                               {"Game", "", "", 11, 0, false},
                               {"Music", "player", "", 8, 0, false}}};
    ChoiceHooks hooks;
    hooks.listApplications = [&list] { return list; };
    choices.SetHooks(hooks);
    MenuItem menu = choices.ApplicationsMenu();
    ASSERT_EQ(menu.items.size(), 3u);
    EXPECT_EQ(menu.items[0].iconName, "game-icon");
    EXPECT_EQ(menu.items[1].command, "input:app:Game");  // no binary: another choice
    EXPECT_TRUE(choices.RunMenuCommand(menu.items[2].command));
    EXPECT_EQ(store.values["input"],
              FakeStore::Values::mapped_type(std::string("app:Music|player")));
    menu = choices.ApplicationsMenu();
    EXPECT_EQ(
        std::vector<bool>({menu.items[0].checked, menu.items[1].checked, menu.items[2].checked}),
        (std::vector<bool>{false, false, true}));

    list = {true, "this server cannot record one stream", {}};
    menu = choices.ApplicationsMenu();
    ASSERT_EQ(menu.items.size(), 1u);
    EXPECT_FALSE(menu.items[0].enabled);
    EXPECT_EQ(menu.items[0].text, list.unsupported);
}
