// The main window: five response-level sliders with their Disable boxes, the Strength slider,
// the Locked box, Test and Help, and the web link. It owns the sound-to-force pipeline (capture
// engine, five band mappers and their force channels), brings it up in OnInitDialog and takes it
// down in OnDestroy.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>

#include "analysis/band_mapper.h"
#include "app/choices.h"
#include "app/presets.h"
#include "app/slider_ctrl.h"
#include "app/status_line.h"
#include "app/test_sound.h"
#include "capture/capture_engine.h"
#include "pipeline/sound_to_force.h"

class CBandMapper;
class CZCommon_HyperLink;
class QCheckBox;
class QLabel;
class QPushButton;
namespace kinetra::app {
class FeelBands;
class LiveMeters;
class TrayIcon;
}  // namespace kinetra::app

// Control ids of the main window; each control carries its id in the property "controlId".
enum : int {
    IDD_MAIN = 102,
    IDC_DISABLE1 = 1025,  // .. IDC_DISABLE5 = 1029
    IDC_WEB_LINK = 1033,
    IDC_LEVEL1 = 1034,  // .. IDC_LEVEL5 = 1038
    IDC_STRENGTH = 1039,
    IDC_LOCKED = 1041,
    IDC_TEST = 1042,
    IDC_HELP_BUTTON = 1043,
    IDM_ABOUTBOX = 0x0010,
};

class CVibrelDlg : public QDialog, public kinetra::capture::CaptureErrorReporter {
    Q_OBJECT

public:
    static constexpr int kBands = kinetra::pipeline::kBands;

    // Builds the window and its controls; creates no mapper and starts nothing.
    // Thread (all operations): user-interface thread.
    explicit CVibrelDlg(QWidget* parent = nullptr);
    // Runs the teardown if start-up ran and the teardown has not.
    ~CVibrelDlg() override;

    // Start-up, then the modal loop (unless a quit was requested), then the teardown. Returns
    // the exit code: 0, or the code of the quit request.
    int DoModal();

    // Start-up: settings, controls, device check, capture engine, mappers, capture thread.
    // False after a failure, which has requested quitting with exit code 1.
    bool OnInitDialog();
    // Teardown: saves the settings, stops the capture thread, deletes the mappers and shuts
    // the engine down. Runs once; copes with whatever start-up left.
    void OnDestroy();

    // Menu commands: IDM_ABOUTBOX shows the About box.
    void OnSysCommand(unsigned id);
    // The band mappers' response mode, chosen in the window's menu and kept in the settings
    // ("mode"). Takes effect from the next block. Thread: user-interface thread.
    void SetResponseMode(MapperMode mode);
    MapperMode ResponseMode() const { return m_mode; }

    // Control handlers, also callable directly; band is 1..5.
    void OnDisable(int band);
    void OnReleasedLevel(int band);
    void OnReleasedStrength();
    void OnVScroll(int scrollCode, CSliderCtrl* source);
    void OnLocked();
    void OnTest();
    void OnHelpButton();
    // Stops every band's effect at once (true), or starts again those whose Disable box is
    // clear (false); while paused, the Disable boxes only change what resuming starts.
    void PauseEffects(bool paused);
    bool EffectsPaused() const { return m_bPaused; }

    // Asks the modal loop to end with exitCode (before it runs: it does not start).
    void PostQuitMessage(int exitCode);
    bool QuitRequested() const { return m_bQuitRequested; }
    int QuitCode() const { return m_nQuitCode; }

    // From the capture engine: error box, then the quit request.
    void ReportFatalError(const char* text, const char* caption, int exitCode) override;

    // The control with this id, or null.
    QWidget* GetDlgItem(int id) const;
    CSliderCtrl* LevelSlider(int band) const { return m_levelSlider[band - 1]; }
    CSliderCtrl* StrengthSlider() const { return m_strengthSlider; }
    QCheckBox* DisableBox(int band) const { return m_disableBox[band - 1]; }
    QCheckBox* LockedBox() const { return m_lockedBox; }
    CBandMapper* Mapper(int band) const { return m_pipeline.Mapper(band); }
    std::int32_t LastLevel1() const { return m_lastLevel1; }
    const CCaptureEngine& Capture() const { return m_pipeline.Engine(); }
    // The engine, for choosing its audio input before OnInitDialog (tests and tools).
    CCaptureEngine& CaptureForSetup() { return m_pipeline.Engine(); }
    const kinetra::app::TestSoundPlayer& TestSound() const { return m_testSound; }
    QIcon OnQueryDragIcon() const { return m_hIcon; }
    // The status line under the controls.
    kinetra::app::StatusLine* Status() const { return m_status; }
    // The live meters on the sliders and the status line's hint (app/band_meter.h).
    kinetra::app::LiveMeters* Meters() const { return m_meters; }

    // The input and force-device choices (their menus, switching and status texts).
    kinetra::app::WindowChoices* Choices() const { return m_choices; }
    // Stops the pipeline and starts it again on input and device, with the controls' positions,
    // the response mode and the pause kept; a failed audio input is recorded, not shown in a
    // box. For WindowChoices. Thread: user-interface thread.
    kinetra::app::RestartOutcome RestartPipeline(const kinetra::capture::AudioInputChoice& input,
                                                 const kinetra::force::ForceDeviceChoice& device);

    // ---- Presets, "Feel each band", and ending from outside ----
    // Sets the six positions (all five levels, also while Locked, and Strength) and gives them to
    // the mappers as moving the sliders by hand would; the Disable and Locked boxes stay.
    void ApplyPreset(const kinetra::app::PresetPositions& positions);
    // The six positions now.
    kinetra::app::PresetPositions CurrentPositions() const;
    // "Save current as…": asks for a name (AskText) and stores the six positions as a saved
    // preset beside the settings; a name that cannot be used shows a box that says why.
    void OnSavePreset();
    // "Feel each band": each band's effect alone, in turn (app/feel_bands.h); nothing while it
    // runs or without a running pipeline.
    void OnFeelBands();
    kinetra::app::FeelBands* FeelSequence() const { return m_feel; }
    // Ends the run from outside (a quit signal): closes the menus and boxes open over the window,
    // then the window for good, also when hidden to the tray; before the modal loop has started
    // it does not start. The teardown follows as after the close box, and the exit code is 0
    // unless one was asked for before.
    void EndRun();
    // Saves the settings now (the desktop session is ending); the teardown then saves again
    // only when they have changed since.
    void CommitSettings();

    // The maker's web address and the host name shown in the link.
    static const char* const kWebAddress;
    static const char* const kWebHost;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildControls();
    void DescribeControls();
    void SetUpSliders();
    void LoadSettings();
    void SaveSettings();
    void Fail();
    void ErrorBox(const char* text, const QString& detail);
    void ArmAutomation();

    CZCommon_HyperLink* m_webLink = nullptr;
    QCheckBox* m_lockedBox = nullptr;
    QCheckBox* m_disableBox[kBands] = {};
    CSliderCtrl* m_levelSlider[kBands] = {};
    CSliderCtrl* m_strengthSlider = nullptr;
    kinetra::app::StatusLine* m_status = nullptr;
    kinetra::app::WindowChoices* m_choices = nullptr;
    kinetra::app::LiveMeters* m_meters = nullptr;
    QIcon m_hIcon;
    kinetra::pipeline::SoundToForcePipeline m_pipeline;
    MapperMode m_mode = MapperMode::kClassic;
    std::int32_t m_lastLevel1 = 0;

    QPushButton* m_testButton = nullptr;
    QPushButton* m_helpButton = nullptr;
    kinetra::app::TestSoundPlayer m_testSound;
    bool m_bStarted = false;    // OnInitDialog ran
    bool m_bDestroyed = false;  // OnDestroy ran
    bool m_bQuitRequested = false;
    int m_nQuitCode = 0;
    bool m_bPaused = false;  // PauseEffects, from the tray icon

    kinetra::app::TrayIcon* m_tray = nullptr;   // while DoModal runs its loop
    kinetra::app::FeelBands* m_feel = nullptr;  // child object
    // What CommitSettings saved: the six positions and the mode.
    std::optional<std::pair<kinetra::app::PresetPositions, MapperMode>> m_committed;
};
