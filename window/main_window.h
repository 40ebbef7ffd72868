// The main window's behaviour, without a toolkit: the start-up and teardown order, the settings'
// load and save, the slider rules and Locked, the Disable boxes and the pause, the response mode,
// presets, "Feel each band", the input and device choices, the meters and the status texts. It
// owns the sound-to-force pipeline (capture engine, five band mappers and their force channels),
// brings it up in OnInitDialog and takes it down in OnDestroy. The toolkit's window lays out,
// draws and forwards its events here; what the behaviour asks of it goes through the interfaces
// of window/toolkit.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/band_mapper.h"
#include "capture/capture_engine.h"
#include "pipeline/sound_to_force.h"
#include "settings/settings_store.h"
#include "window/choices.h"
#include "window/feel_bands.h"
#include "window/menu_item.h"
#include "window/meters.h"
#include "window/presets.h"
#include "window/scroll_code.h"
#include "window/toolkit.h"

namespace kinetra::window {

// The toolkit's parts the window's behaviour uses; each outlives the MainWindow.
struct WindowParts {
    WindowControls& controls;
    StatusView& status;
    MeterView& meters;
    Timers& timers;
    MessageBoxes& boxes;
    settings::SettingsStore& store;
    DocumentOpener& documents;
    SoundPlayer& sound;
    StartupDesktop& desktop;
};

// The window's texts.
inline constexpr const char* kNoDeviceText = "Could not find an Ondrel Pulsenic device.";
inline constexpr const char* kNoCaptureBufferText = "Error creating sound capture buffer.";
inline constexpr const char* kNoCaptureThreadText = "Could not start the sound capture thread.";

class MainWindow : public capture::CaptureErrorReporter {
public:
    static constexpr int kBands = kinetra::pipeline::kBands;
    // A slider of the window: 1..5 the level sliders, kStrength the Strength slider.
    static constexpr int kStrength = 0;

    // Creates no mapper and starts nothing; the meters' timer runs from here.
    // Thread (all operations): user-interface thread.
    explicit MainWindow(const WindowParts& parts);
    // Runs the teardown if start-up ran and the teardown has not.
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Start-up: priority, sliders, settings, Locked, the desktop check, the choices, capture
    // engine, mappers and capture thread. False after a failure, which has shown why (unless a
    // quit was asked for) and requested quitting with exit code 1.
    bool OnInitDialog();
    // Teardown: saves the settings (unless CommitSettings saved these very values), ends a
    // "Feel each band" sequence and the test sound, stops the pipeline. Runs once; copes with
    // whatever start-up left.
    void OnDestroy();
    bool Started() const { return m_bStarted; }
    bool Destroyed() const { return m_bDestroyed; }

    // Asks the modal loop to end with exitCode (before it runs: it does not start); the first
    // code asked for holds.
    void PostQuitMessage(int exitCode);
    bool QuitRequested() const { return m_bQuitRequested; }
    int QuitCode() const { return m_nQuitCode; }
    // From the capture engine (user-interface thread): error box, then the quit request.
    void ReportFatalError(const char* text, const char* caption, int exitCode) override;

    // ---- Controls, as their events arrive; band is 1..5 ----
    void OnDisable(int band);
    void OnReleasedLevel(int band);
    void OnReleasedStrength();
    // slider: 1..5 or kStrength.
    void OnVScroll(int scrollCode, int slider);
    void OnLocked();
    void OnTest();
    // The Help button: the help at the topic of its settings; F1: the help's contents.
    void OnHelpButton();
    void OnHelpContents();

    // The band mappers' response mode, chosen in the menu and kept in the settings ("mode").
    // Takes effect from the next block.
    void SetResponseMode(MapperMode mode);
    MapperMode ResponseMode() const { return m_mode; }
    // Stops every band's effect at once (true), or starts again those whose Disable box is
    // clear (false); while paused, the Disable boxes only change what resuming starts.
    void PauseEffects(bool paused);
    bool EffectsPaused() const { return m_bPaused; }

    // The window is shown (true), or hidden, minimised or in the tray: then nothing is drawn.
    void SetShown(bool shown);

    // ---- The right-click menu ----
    // The input and device submenus (between start-up and teardown), the response modes, the
    // presets, "Feel each band". The toolkit adds its own entries after them.
    std::vector<MenuItem> ContextMenu();
    // Runs a command of ContextMenu's entries after the menu has closed; false for any other.
    bool RunMenuCommand(const std::string& command);

    // ---- Presets, "Feel each band", saving ----
    // Sets the six positions (all five levels, also while Locked, and Strength) and gives them to
    // the mappers as moving the sliders by hand would; the Disable and Locked boxes stay.
    void ApplyPreset(const PresetPositions& positions);
    PresetPositions CurrentPositions() const;
    // "Save current as…": asks for a name and stores the six positions as a saved preset; a
    // name that cannot be used shows a box that says why.
    void OnSavePreset();
    // Renames or deletes a saved preset (deleting asks first).
    void OnRenamePreset(const std::string& name);
    void OnDeletePreset(const std::string& name);
    // Each band's effect alone, in turn; nothing while it runs or without a running pipeline.
    void OnFeelBands();
    bool CanFeelBands() const;
    // Saves the settings now (the desktop session is ending); the teardown then saves again
    // only when they have changed since.
    void CommitSettings();

    // Stops the pipeline and starts it again on input and device, with the controls' positions,
    // the response mode and the pause kept; a failed audio input is recorded, not shown in a
    // box. For WindowChoices.
    RestartOutcome RestartPipeline(const capture::AudioInputChoice& input,
                                   const force::ForceDeviceChoice& device);

    CBandMapper* Mapper(int band) const { return m_pipeline.Mapper(band); }
    std::int32_t LastLevel1() const { return m_lastLevel1; }
    const CCaptureEngine& Capture() const { return m_pipeline.Engine(); }
    // The engine, for choosing its audio input before OnInitDialog (tests and tools).
    CCaptureEngine& CaptureForSetup() { return m_pipeline.Engine(); }
    WindowChoices& Choices() { return m_choices; }
    FeelBands& FeelSequence() { return m_feel; }
    LiveMeters& Meters() { return m_meters; }

private:
    void SetUpSliders();
    void LoadSettings();
    void SaveSettings();
    void Fail();
    // A usable preset name from the user (asked again after a refusal), empty when cancelled.
    std::string AskPresetName(const std::string& title, std::string name);
    void CommitPresets(settings::SettingsKey& key);
    void ErrorBox(const char* text, const std::string& detail);
    pipeline::PipelineSettings ControlSettings(bool withDisabled) const;

    WindowParts m_parts;
    pipeline::SoundToForcePipeline m_pipeline;
    MapperMode m_mode = MapperMode::kClassic;
    std::int32_t m_lastLevel1 = 0;
    bool m_bStarted = false;    // OnInitDialog ran
    bool m_bDestroyed = false;  // OnDestroy ran
    bool m_bQuitRequested = false;
    int m_nQuitCode = 0;
    bool m_bPaused = false;  // PauseEffects, from the tray icon
    WindowChoices m_choices;
    LiveMeters m_meters;
    FeelBands m_feel;
    // The presets the last ContextMenu offered, by their commands' numbers.
    std::vector<Preset> m_menuPresets;
    // What CommitSettings saved: the six positions and the mode.
    std::optional<std::pair<PresetPositions, MapperMode>> m_committed;
};

}  // namespace kinetra::window
