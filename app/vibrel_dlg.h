// The main window: five response-level sliders with their Disable boxes, the Strength slider,
// the Locked box, Test and Help, the web link and the status line. A view over the window's
// behaviour (window/main_window.h): it lays the controls out, draws them, and forwards their
// events; the behaviour owns the sound-to-force pipeline and decides everything else.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <memory>

#include "app/qt_toolkit.h"
#include "app/slider_ctrl.h"
#include "app/status_line.h"
#include "app/test_sound.h"
#include "settings/qsettings_store.h"
#include "window/main_window.h"
#include "window/window_view.h"

class CZCommon_HyperLink;
class QCheckBox;
class QPushButton;
namespace kinetra::app {
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

class CVibrelDlg : public QDialog,
                   private kinetra::window::WindowView,
                   private kinetra::window::SoundPlayer {
    Q_OBJECT

public:
    using WindowView::kBands;

    // Builds the window, its controls and its behaviour; creates no mapper and starts nothing.
    // Thread (all operations): user-interface thread.
    explicit CVibrelDlg(QWidget* parent = nullptr);
    // Runs the teardown if start-up ran and the teardown has not.
    ~CVibrelDlg() override;

    // Start-up, then the modal loop (unless a quit was requested), then the teardown. Returns
    // the exit code: 0, or the code of the quit request.
    int DoModal();

    // The window's icons and link, then the behaviour's start-up. False after a failure, which
    // has requested quitting with exit code 1.
    bool OnInitDialog();
    // The behaviour's teardown (once).
    void OnDestroy() { m_window->OnDestroy(); }

    // Menu commands: IDM_ABOUTBOX shows the About box.
    void OnSysCommand(unsigned id);
    void SetResponseMode(MapperMode mode) { m_window->SetResponseMode(mode); }
    MapperMode ResponseMode() const { return m_window->ResponseMode(); }

    // Control handlers, also callable directly; band is 1..5.
    void OnDisable(int band) { m_window->OnDisable(band); }
    void OnReleasedLevel(int band) { m_window->OnReleasedLevel(band); }
    void OnReleasedStrength() { m_window->OnReleasedStrength(); }
    void OnVScroll(int scrollCode, CSliderCtrl* source);
    void OnLocked() { m_window->OnLocked(); }
    void OnTest() { m_window->OnTest(); }
    void OnHelpButton() { m_window->OnHelpButton(); }
    void PauseEffects(bool paused) { m_window->PauseEffects(paused); }
    bool EffectsPaused() const { return m_window->EffectsPaused(); }

    void PostQuitMessage(int exitCode) { m_window->PostQuitMessage(exitCode); }
    bool QuitRequested() const { return m_window->QuitRequested(); }
    int QuitCode() const { return m_window->QuitCode(); }

    // The control with this id, or null.
    QWidget* GetDlgItem(int id) const;
    CSliderCtrl* LevelSlider(int band) const { return m_levelSlider[band - 1]; }
    CSliderCtrl* StrengthSlider() const { return m_strengthSlider; }
    QCheckBox* DisableBox(int band) const { return m_disableBox[band - 1]; }
    QCheckBox* LockedBox() const { return m_lockedBox; }
    CBandMapper* Mapper(int band) const { return m_window->Mapper(band); }
    std::int32_t LastLevel1() const { return m_window->LastLevel1(); }
    const CCaptureEngine& Capture() const { return m_window->Capture(); }
    // The engine, for choosing its audio input before OnInitDialog (tests and tools).
    CCaptureEngine& CaptureForSetup() { return m_window->CaptureForSetup(); }
    const kinetra::app::TestSoundPlayer& TestSound() const { return m_testSound; }
    QIcon OnQueryDragIcon() const { return m_hIcon; }
    // The status line under the controls.
    kinetra::app::StatusLine* Status() const { return m_status; }
    // The behaviour and its parts.
    kinetra::window::MainWindow* Behaviour() const { return m_window.get(); }
    kinetra::window::LiveMeters* Meters() const { return &m_window->Meters(); }
    kinetra::window::WindowChoices* Choices() const { return &m_window->Choices(); }
    kinetra::window::FeelBands* FeelSequence() const { return &m_window->FeelSequence(); }

    void ApplyPreset(const kinetra::window::PresetPositions& positions) {
        m_window->ApplyPreset(positions);
    }
    kinetra::window::PresetPositions CurrentPositions() const {
        return m_window->CurrentPositions();
    }
    void OnSavePreset() { m_window->OnSavePreset(); }
    void OnFeelBands() { m_window->OnFeelBands(); }
    // Ends the run from outside (a quit signal): closes the menus and boxes open over the window,
    // then the window for good, also when hidden to the tray; before the modal loop has started
    // it does not start. The teardown follows as after the close box, and the exit code is 0
    // unless one was asked for before.
    void EndRun();
    void CommitSettings() { m_window->CommitSettings(); }

    // The maker's web address and the host name shown in the link.
    static const char* const kWebAddress;
    static const char* const kWebHost;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Shown, hidden or minimised: the meters and the status follow (nothing drawn unseen).
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildControls();
    // The status's height (two lines, three with a problem) and the window's with it.
    void FitStatus();
    void DescribeControls();
    void ArmAutomation();

    // The slider by number: 1..5 the levels, MainWindow::kStrength the Strength slider.
    CSliderCtrl* SliderCtrl(int slider) const;

    // kinetra::window::WindowView
    int SliderPosition(int slider) const override;
    void SetSliderPosition(int slider, int position) override;
    void SetSliderMeter(int slider, const kinetra::window::SliderMeter& meter) override;
    void SetStatusText(StatusPart part, const std::string& text) override;
    void SetLevelEnabled(int band, bool enabled) override;
    void SetLevelTicks(int band, bool shown) override;
    bool DisableChecked(int band) const override;
    bool LockedChecked() const override;
    void SetLockedChecked(bool checked) override;
    void CloseLater() override;
    void SetProblem(const std::string& text, const std::string& detail) override;
    // kinetra::window::SoundPlayer
    void PlayTestSound() override;
    void StopTestSound() override;
    void CheckDesktopProgram() override;
    void* OwnerInstance() override;
    void* OwnerWindow() override;

    CZCommon_HyperLink* m_webLink = nullptr;
    QCheckBox* m_lockedBox = nullptr;
    QCheckBox* m_disableBox[kBands] = {};
    CSliderCtrl* m_levelSlider[kBands] = {};
    CSliderCtrl* m_strengthSlider = nullptr;
    kinetra::app::StatusLine* m_status = nullptr;
    int m_statusLines = 0;
    QIcon m_hIcon;
    QPushButton* m_testButton = nullptr;
    QPushButton* m_helpButton = nullptr;
    kinetra::app::TestSoundPlayer m_testSound;
    kinetra::app::TrayIcon* m_tray = nullptr;  // while DoModal runs its loop

    kinetra::app::QtTimers m_timers;
    kinetra::app::QtMessageBoxes m_boxes{this};
    kinetra::app::QtDocumentOpener m_documents{this};
    kinetra::settings::QSettingsStore m_store;
};
