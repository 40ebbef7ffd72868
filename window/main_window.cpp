#include "window/main_window.h"

#include <algorithm>
#include <memory>
#include <tuple>

#include "capture/audio_input.h"
#include "capture/audio_sources.h"
#include "force/force_devices.h"
#include "force/ond_library.h"
#include "pipeline/slider_rules.h"
#include "platform/debug_output.h"
#include "platform/priority.h"
#include "window/error_details.h"

namespace kinetra::window {

namespace {

constexpr const char kClassicMenuText[] = "&Classic response";
constexpr const char kHitsMenuText[] = "&Hits response";
constexpr const char kPresetsMenuText[] = "&Presets";
constexpr const char kSavePresetMenuText[] = "&Save current as\u2026";
constexpr const char kFeelBandsMenuText[] = "&Feel each band";
// The commands of the menu's own entries; a preset's is the prefix and its number.
constexpr const char kClassicCommand[] = "mode:classic";
constexpr const char kHitsCommand[] = "mode:hits";
constexpr const char kSavePresetCommand[] = "preset-save";
constexpr const char kFeelBandsCommand[] = "feel-bands";
constexpr const char kPresetPrefix[] = "preset:";
constexpr const char kRenamePresetPrefix[] = "preset-rename:";
constexpr const char kDeletePresetPrefix[] = "preset-delete:";
// The help's file, and the topic the Help button opens.
constexpr const char kHelpFile[] = "help/index.html";
constexpr const char kHelpTopic[] = "topic-1006";

MenuItem Entry(const std::string& text, const std::string& objectName, const std::string& command) {
    MenuItem item;
    item.text = text;
    item.objectName = objectName;
    item.command = command;
    return item;
}

}  // namespace

MainWindow::MainWindow(const WindowParts& parts)
    : m_parts(parts),
      m_choices(
          ChoiceParts{parts.store, parts.status, parts.timers, parts.boxes},
          [this](const capture::AudioInputChoice& input, const force::ForceDeviceChoice& device) {
              return RestartPipeline(input, device);
          }),
      // The meters follow the pipeline from its start to its teardown.
      m_meters([this](int band) -> const CBandMapper* { return m_pipeline.Mapper(band); },
               parts.meters, parts.status, parts.timers),
      m_feel([this] { return &m_pipeline; }, parts.timers) {
    m_meters.SetFeltBand([this] { return m_feel.Running() ? m_feel.PlayingBand() : -1; });
    // The status line is refreshed in the meters' wake-ups, not in wake-ups of its own.
    m_meters.SetAfterTick([this] { m_choices.StatusTick(); });
}

void MainWindow::SetShown(bool shown) {
    m_meters.SetShown(shown);
    m_choices.SetShown(shown);
}

MainWindow::~MainWindow() {
    if (m_bStarted) OnDestroy();
}

// ---------------------------------------------------------------------------------------------
// Start-up and teardown

void MainWindow::SetUpSliders() {
    WindowControls& controls = m_parts.controls;
    controls.SetLevelTicks(1, true);
    for (int band = 2; band <= kBands; ++band) {
        controls.SetLevelEnabled(band, false);
        controls.SetLevelTicks(band, false);
    }
}

void MainWindow::LoadSettings() {
    WindowControls& controls = m_parts.controls;
    const std::unique_ptr<settings::SettingsKey> key = m_parts.store.Open();
    controls.SetLevelPosition(1, settings::ReadThreshold(*key, settings::ThresholdValueName(1)));
    m_lastLevel1 = controls.LevelPosition(1);
    for (int band = 2; band <= kBands; ++band) {
        controls.SetLevelPosition(
            band, settings::ReadThreshold(*key, settings::ThresholdValueName(band)));
    }
    controls.SetStrengthPosition(settings::StrengthPositionForStoredGain(
        settings::ReadGain(*key, settings::kGainValueName)));
    m_mode = settings::ReadMode(*key) == settings::kHitsModeValue ? MapperMode::kHits
                                                                  : MapperMode::kClassic;
}

void MainWindow::SaveSettings() {
    const std::unique_ptr<settings::SettingsKey> key = m_parts.store.Open();
    if (!key->Writable()) {
        DebugOutput("SETTINGS: the settings file cannot be written\n");
        return;
    }
    for (int band = 1; band <= kBands; ++band) {
        key->WriteInt(settings::ThresholdValueName(band), m_parts.controls.LevelPosition(band));
    }
    key->WriteInt(settings::kGainValueName,
                  settings::StoredGainForStrengthPosition(m_parts.controls.StrengthPosition()));
    key->WriteInt(settings::kModeValueName, m_mode == MapperMode::kHits
                                                ? settings::kHitsModeValue
                                                : settings::kClassicModeValue);
    if (!key->Commit()) DebugOutput("SETTINGS: the settings could not be saved\n");
}

void MainWindow::ErrorBox(const char* text, const std::string& detail) {
    // Once quitting has been asked for, the loop that would show a box ends at once.
    if (m_bQuitRequested) return;
    m_parts.boxes.ShowMessage(text, kErrorCaption, MessageIcon::kError, detail);
}

void MainWindow::Fail() {
    PostQuitMessage(1);
    // A failed start-up ends with 1, also when a quit signal came while its box was open.
    if (m_nQuitCode == 0) m_nQuitCode = 1;
}

void MainWindow::PostQuitMessage(int exitCode) {
    if (!m_bQuitRequested) {
        m_bQuitRequested = true;
        m_nQuitCode = exitCode;
    }
    m_parts.controls.CloseLater();
}

void MainWindow::ReportFatalError(const char* text, const char* /*caption*/, int exitCode) {
    // The input has said why on standard error already.
    if (!m_bQuitRequested) {
        // What the engine offers, and what the sound server has (a file's engine lists no other).
        std::vector<capture::CaptureDeviceInfo> devices = m_pipeline.Engine().ListDevices();
        for (const capture::AudioSourceInfo& source : capture::ListAudioSources().sources) {
            const bool listed = std::any_of(devices.begin(), devices.end(), [&](const auto& d) {
                return d.description == source.description;
            });
            if (!listed) devices.push_back({source.id, source.description});
        }
        ErrorBox(text, AudioInputDetail(capture::RecentAudioInputProblems(), devices,
                                        m_choices.Input().kind));
    }
    PostQuitMessage(exitCode);
}

pipeline::PipelineSettings MainWindow::ControlSettings(bool withDisabled) const {
    pipeline::PipelineSettings settings;
    for (int k = 0; k < kBands; ++k) {
        settings.level[k] = m_parts.controls.LevelPosition(k + 1);
        if (withDisabled) settings.disabled[k] = m_parts.controls.DisableChecked(k + 1);
    }
    settings.strength = m_parts.controls.StrengthPosition();
    return settings;
}

bool MainWindow::OnInitDialog() {
    m_bStarted = true;
    if (!SetProcessPriorityClass(PriorityClass::kHigh)) {
        DebugOutput("SetPriorityClass failed\n");
    }

    SetUpSliders();
    LoadSettings();
    m_parts.controls.SetLockedChecked(true);

    m_parts.desktop.CheckDesktopProgram();

    const pipeline::PipelineSettings settings = ControlSettings(false);
    pipeline::StartOptions options;
    options.ownerInstance = m_parts.desktop.OwnerInstance();
    options.ownerWindow = m_parts.desktop.OwnerWindow();
    capture::ClearAudioInputProblems();
    m_choices.StartingOptions(&options);
    pipeline::StartResult started = m_pipeline.Start(settings, this, options);
    // A stored device that is gone must not keep the program from starting: the default is tried.
    if (started == pipeline::StartResult::kNoDevice && !m_bQuitRequested &&
        m_choices.DropStoredDevice(&options)) {
        started = m_pipeline.Restart(settings, this, options);
    }
    switch (started) {
        case pipeline::StartResult::kRunning:
            SetResponseMode(m_mode);
            m_choices.Started();
            return true;
        case pipeline::StartResult::kNoDevice: {
            // Every failed start says why on standard error (a device that did not open, the
            // library has said already); bands 2 to 4 show no box.
            std::string reason = force::LastForceDeviceProblem();
            if (reason.empty()) {
                reason = force::LastForceProblem();
                force::ReportForceProblem(reason);
            }
            if (!m_bQuitRequested) {
                ErrorBox(kNoDeviceText, NoForceDeviceDetail(reason, force::ListForceDevices()));
            }
            break;
        }
        case pipeline::StartResult::kBandMissing: {
            int band = 2;
            while (band < kBands - 1 && m_pipeline.Mapper(band) != nullptr) ++band;
            force::ReportForceProblem("no effect for band " + std::to_string(band) + " (" +
                                      force::LastForceProblem() + "); bands 1 to 4 need one each");
            break;
        }
        case pipeline::StartResult::kNoCaptureBuffer:
            ErrorBox(kNoCaptureBufferText,
                     CaptureBufferDetail(capture::RecentAudioInputProblems()));
            break;
        case pipeline::StartResult::kNoCaptureThread:
            ErrorBox(kNoCaptureThreadText, CaptureThreadDetail());
            break;
    }
    Fail();
    return false;
}

RestartOutcome MainWindow::RestartPipeline(const capture::AudioInputChoice& input,
                                           const force::ForceDeviceChoice& device) {
    // A feel-each-band sequence plays on the pipeline being replaced: it ends first.
    m_feel.Cancel();
    pipeline::StartOptions options;
    options.ownerInstance = m_parts.desktop.OwnerInstance();
    options.ownerWindow = m_parts.desktop.OwnerWindow();
    options.input = input;
    options.device = device;
    RecordingErrorReporter reporter;
    RestartOutcome outcome;
    outcome.result = m_pipeline.Restart(ControlSettings(true), &reporter, options);
    outcome.inputError = reporter.Text();
    SetResponseMode(m_mode);
    if (m_bPaused) PauseEffects(true);
    return outcome;
}

void MainWindow::OnDestroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    // Saved once: not again when logging out saved these very values.
    if (!m_committed || *m_committed != std::make_pair(CurrentPositions(), m_mode)) SaveSettings();
    m_feel.Cancel();
    m_parts.sound.StopTestSound();
    m_pipeline.Stop();
}

void MainWindow::CommitSettings() {
    SaveSettings();
    m_committed = std::make_pair(CurrentPositions(), m_mode);
}

// ---------------------------------------------------------------------------------------------
// Controls

void MainWindow::OnDisable(int band) {
    if (band < 1 || band > kBands) return;
    WindowControls& controls = m_parts.controls;
    const bool on = !controls.DisableChecked(band);
    const bool locked = controls.LockedChecked();
    if (band == 1) {
        if (on) {
            controls.SetLevelEnabled(1, true);
        } else if (!locked) {
            controls.SetLevelEnabled(1, false);
        }
    } else if (!locked) {
        controls.SetLevelEnabled(band, on);
    }
    if (!m_bPaused) m_pipeline.EnableBand(band, on);
}

void MainWindow::PauseEffects(bool paused) {
    m_bPaused = paused;
    for (int band = 1; band <= kBands; ++band) {
        m_pipeline.EnableBand(band, !paused && !m_parts.controls.DisableChecked(band));
    }
}

void MainWindow::OnReleasedLevel(int band) {
    if (band < 1 || band > kBands) return;
    const int position = m_parts.controls.LevelPosition(band);
    m_pipeline.SetLevel(band, position);
    if (band == 1) m_lastLevel1 = position;
}

void MainWindow::OnReleasedStrength() {
    m_pipeline.SetStrength(m_parts.controls.StrengthPosition());
}

void MainWindow::OnVScroll(int scrollCode, int slider) {
    WindowControls& controls = m_parts.controls;
    const bool actedOn = scrollCode == TB_LINEUP || scrollCode == TB_LINEDOWN ||
                         scrollCode == TB_PAGEUP || scrollCode == TB_PAGEDOWN ||
                         scrollCode == TB_THUMBTRACK;
    if (!actedOn) return;
    if (slider == kStrength) {
        m_pipeline.SetStrength(controls.StrengthPosition());
        return;
    }
    if (slider < 1 || slider > kBands) return;

    int delta = 0;
    if (controls.LockedChecked()) {
        delta = controls.LevelPosition(1) - m_lastLevel1;
        m_lastLevel1 = controls.LevelPosition(1);
    }
    m_pipeline.SetLevel(1, controls.LevelPosition(1));
    for (int band = 2; band <= kBands; ++band) {
        controls.SetLevelPosition(band,
                                  pipeline::FollowLockedLevel(controls.LevelPosition(band), delta));
        m_pipeline.SetLevel(band, controls.LevelPosition(band));
    }
}

void MainWindow::OnLocked() {
    WindowControls& controls = m_parts.controls;
    if (controls.LockedChecked()) {
        for (int band = 2; band <= kBands; ++band) {
            controls.SetLevelEnabled(band, false);
            controls.SetLevelTicks(band, false);
        }
        controls.SetLevelEnabled(1, true);
    } else {
        if (controls.DisableChecked(1)) controls.SetLevelEnabled(1, false);
        for (int band = 2; band <= kBands; ++band) {
            if (!controls.DisableChecked(band)) controls.SetLevelEnabled(band, true);
        }
        for (int band = 2; band <= kBands; ++band) controls.SetLevelTicks(band, true);
    }
}

void MainWindow::OnTest() {
    m_parts.sound.PlayTestSound();
}

void MainWindow::OnHelpButton() {
    if (!m_parts.documents.OpenDocument(kHelpFile, kHelpTopic)) {
        DebugOutput("HELP: the help file is missing\n");
    }
}

void MainWindow::OnHelpContents() {
    m_parts.documents.OpenDocument(kHelpFile, "");
}

void MainWindow::SetResponseMode(MapperMode mode) {
    m_mode = mode;
    for (int band = 1; band <= kBands; ++band) {
        if (CBandMapper* mapper = m_pipeline.Mapper(band)) mapper->SetMode(mode);
    }
}

// ---------------------------------------------------------------------------------------------
// The right-click menu

std::vector<MenuItem> MainWindow::ContextMenu() {
    std::vector<MenuItem> menu;
    // The input and force device, each a submenu, then the response modes, one of them checked.
    if (m_bStarted && !m_bDestroyed) {
        menu = m_choices.MenuItems();
        menu.push_back(MenuItem::Separator());
    }
    for (const auto& [text, name, command, mode] :
         {std::tuple{kClassicMenuText, "classicMode", kClassicCommand, MapperMode::kClassic},
          std::tuple{kHitsMenuText, "hitsMode", kHitsCommand, MapperMode::kHits}}) {
        MenuItem item = Entry(text, name, command);
        item.checkable = true;
        item.checked = m_mode == mode;
        menu.push_back(item);
    }
    menu.push_back(MenuItem::Separator());
    // Presets: those that come with the program, the saved ones, and saving the current one.
    MenuItem presets = Entry(kPresetsMenuText, "presetsMenu", "");
    presets.kind = MenuItem::Kind::kSubmenu;
    m_menuPresets = BuiltInPresets();
    const std::size_t builtIn = m_menuPresets.size();
    {
        const std::unique_ptr<settings::SettingsKey> key = m_parts.store.Open();
        for (Preset& saved : ReadSavedPresets(*key)) m_menuPresets.push_back(std::move(saved));
    }
    // The first preset whose positions the sliders show is ticked.
    const PresetPositions current = CurrentPositions();
    bool ticked = false;
    MenuItem rename = Entry("&Rename preset", "renamePreset", "");
    MenuItem remove = Entry("&Delete preset", "deletePreset", "");
    rename.kind = remove.kind = MenuItem::Kind::kSubmenu;
    for (std::size_t i = 0; i < m_menuPresets.size(); ++i) {
        if (i == builtIn) presets.items.push_back(MenuItem::Separator());
        const std::string number = std::to_string(i);
        MenuItem item = Entry(m_menuPresets[i].name, "preset", kPresetPrefix + number);
        item.checkable = true;
        item.checked = !ticked && m_menuPresets[i].positions == current;
        ticked = ticked || item.checked;
        presets.items.push_back(item);
        if (i >= builtIn) {
            rename.items.push_back(Entry(m_menuPresets[i].name, "", kRenamePresetPrefix + number));
            remove.items.push_back(Entry(m_menuPresets[i].name, "", kDeletePresetPrefix + number));
        }
    }
    presets.exclusive = true;
    presets.items.push_back(MenuItem::Separator());
    presets.items.push_back(Entry(kSavePresetMenuText, "savePreset", kSavePresetCommand));
    if (!rename.items.empty()) {
        presets.items.push_back(rename);
        presets.items.push_back(remove);
    }
    menu.push_back(presets);
    MenuItem feel = Entry(kFeelBandsMenuText, "feelBands", kFeelBandsCommand);
    feel.enabled = CanFeelBands();
    menu.push_back(feel);
    return menu;
}

bool MainWindow::RunMenuCommand(const std::string& command) {
    if (m_choices.RunMenuCommand(command)) return true;  // an input or a device
    if (command.starts_with(kPresetPrefix)) {
        const std::size_t index = std::stoul(command.substr(sizeof(kPresetPrefix) - 1));
        if (index < m_menuPresets.size()) ApplyPreset(m_menuPresets[index].positions);
    } else if (command.starts_with(kRenamePresetPrefix) ||
               command.starts_with(kDeletePresetPrefix)) {
        const bool rename = command.starts_with(kRenamePresetPrefix);
        const std::size_t index = std::stoul(command.substr(command.find(':') + 1));
        if (index < m_menuPresets.size()) {
            if (rename) {
                OnRenamePreset(m_menuPresets[index].name);
            } else {
                OnDeletePreset(m_menuPresets[index].name);
            }
        }
    } else if (command == kSavePresetCommand) {
        OnSavePreset();
    } else if (command == kFeelBandsCommand) {
        OnFeelBands();
    } else if (command == kClassicCommand) {
        SetResponseMode(MapperMode::kClassic);
    } else if (command == kHitsCommand) {
        SetResponseMode(MapperMode::kHits);
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Presets and "Feel each band"

PresetPositions MainWindow::CurrentPositions() const {
    PresetPositions positions;
    for (int k = 0; k < kBands; ++k) positions.level[k] = m_parts.controls.LevelPosition(k + 1);
    positions.strength = m_parts.controls.StrengthPosition();
    return positions;
}

void MainWindow::ApplyPreset(const PresetPositions& positions) {
    WindowControls& controls = m_parts.controls;
    for (int band = 1; band <= kBands; ++band) {
        controls.SetLevelPosition(band, positions.level[band - 1]);
        m_pipeline.SetLevel(band, controls.LevelPosition(band));
    }
    // Followers move on from here while Locked.
    m_lastLevel1 = controls.LevelPosition(1);
    controls.SetStrengthPosition(positions.strength);
    m_pipeline.SetStrength(controls.StrengthPosition());
}

std::string MainWindow::AskPresetName(const std::string& title, std::string name) {
    // A name that cannot be used is refused with the reason, and asked for again as typed.
    while (m_parts.boxes.AskText(title, "Name of the preset:", &name)) {
        std::string why;
        const std::string clean = CleanPresetName(name, &why);
        if (!clean.empty()) return clean;
        m_parts.boxes.ShowMessage(why, kErrorCaption, MessageIcon::kExclamation, "");
    }
    return {};
}

void MainWindow::OnRenamePreset(const std::string& name) {
    const std::string renamed = AskPresetName("Rename Preset", name);
    if (renamed.empty() || renamed == name) return;
    PresetPositions positions;
    const std::unique_ptr<settings::SettingsKey> key = m_parts.store.Open();
    for (const Preset& saved : ReadSavedPresets(*key)) {
        if (saved.name == name) positions = saved.positions;
    }
    if (!key->Remove(std::string(kPresetsGroup) + "/" + PresetKey(name))) return;
    WriteSavedPreset(*key, renamed, positions);
    CommitPresets(*key);
}

void MainWindow::OnDeletePreset(const std::string& name) {
    if (!m_parts.boxes.AskYesNo("Delete Preset", "Delete the preset \"" + name + "\"?")) return;
    const std::unique_ptr<settings::SettingsKey> key = m_parts.store.Open();
    if (key->Remove(std::string(kPresetsGroup) + "/" + PresetKey(name))) CommitPresets(*key);
}

void MainWindow::OnSavePreset() {
    const std::string clean = AskPresetName("Save Preset", "");
    if (clean.empty()) return;
    const std::unique_ptr<settings::SettingsKey> key = m_parts.store.Open();
    WriteSavedPreset(*key, clean, CurrentPositions());
    CommitPresets(*key);
}

void MainWindow::CommitPresets(settings::SettingsKey& key) {
    if (!key.Commit()) {
        m_parts.boxes.ShowMessage("The preset could not be saved.", kErrorCaption,
                                  MessageIcon::kExclamation,
                                  "Why: the settings file cannot be written: " + key.Location());
    }
}

bool MainWindow::CanFeelBands() const {
    return !m_feel.Running() && m_pipeline.Mapper(1) != nullptr;
}

void MainWindow::OnFeelBands() {
    m_feel.Start();
    m_meters.Refresh();  // its grooves light at the full rate, with or without sound
}

}  // namespace kinetra::window
