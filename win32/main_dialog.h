// The main window on Windows: the dialog IDD_MAIN of kinetra.rc with the status line below it, a
// view over the window's behaviour (window/main_window.h). It forwards the controls' events, draws
// the meters in the trackbars' grooves (custom draw), and offers the right-click menu, the
// system menu's About box, the link and the notification-area icon.
#pragma once

#include "window/tray_settings.h"
#include "window/window_view.h"

// After the behaviour's headers: <commctrl.h> defines the trackbar codes as macros.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "settings/registry_store.h"
#include "win32/win32_toolkit.h"

class CVibrelDlg final : private kinetra::window::WindowView {
public:
    using WindowView::kBands;

    // Thread (all operations): user-interface thread.
    CVibrelDlg();
    ~CVibrelDlg() override;

    // Chooses the audio input before the window starts.
    void SetAudioInput(const kinetra::capture::AudioInputChoice& input) {
        m_window->CaptureForSetup().SetAudioInput(input);
    }
    // Creates the window (start-up runs as it initialises), runs its loop until it closes, then
    // the teardown. Returns the exit code: 0, or the code of the quit request.
    int DoModal();

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    void AddStatusLine();
    void AddBandCaptions();
    void AddTooltip(HWND control, const std::string& text);
    // Shows or hides the warning row below the status line, growing or shrinking the window.
    void ShowProblemRow();
    void OnProblemClicked();
    void FitHelpText();
    void ArmAutomation();
    LRESULT OnCustomDraw(NMHDR* header);
    // Where a trackbar's meter lies: its thumb, the track in its groove and the row of a position.
    struct MeterGeometry {
        RECT thumb{};
        RECT track{};
        int top = 0;
        int span = 1;
        int YOf(double position) const;
    };
    static MeterGeometry GeometryOf(HWND trackbar);
    void OnContextMenu(POINT at);
    void OnTrayMessage(LPARAM lParam);
    void SetTrayIcon(DWORD action);
    void ShowTrayMenu();
    void HideToTray(bool hidden);
    void SetStartAtLogin(bool on);
    void OnSysCommand(UINT id);
    // The slider of a trackbar: 1..5, MainWindow::kStrength, or -1.
    int SliderOf(HWND trackbar) const;
    HWND Slider(int slider) const;

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
    void CheckDesktopProgram() override;
    void* OwnerInstance() override;
    void* OwnerWindow() override;

    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    HFONT m_linkFont = nullptr;
    HFONT m_captionFont = nullptr;
    HWND m_tooltips = nullptr;
    HICON m_warningIcon = nullptr;
    // The window's height without the warning row, and the row's height, in pixels.
    int m_baseHeight = 0;
    int m_problemRowHeight = 0;
    bool m_closing = false;
    // Meters by slider: 0 Strength, 1..5 the levels.
    kinetra::window::SliderMeter m_meter[kBands + 1];
    kinetra::window::SliderMeter m_drawn[kBands + 1];  // what each groove shows on screen
    RECT m_thumbDrawn[kBands + 1] = {};                // each thumb where its lamp was drawn
    // The status line's parts until the window has them.
    std::string m_status[kStatusParts];
    // The problem the status line warns of (empty: none) and what clicking it shows.
    std::string m_problem;
    std::string m_problemDetail;
    // The commands of the right-click menu being shown, by menu id.
    std::vector<std::string> m_menuCommands;
    HDEVNOTIFY m_deviceNotify = nullptr;
    bool m_trayShown = false;
    bool m_hidden = false;

    kinetra::win32::Win32Timers m_timers;
    kinetra::win32::Win32MessageBoxes m_boxes;
    kinetra::win32::HelpViewer m_help;
    kinetra::win32::TestSound m_testSound;
    kinetra::settings::RegistryStore m_store;
    kinetra::window::TraySettings m_tray{m_store};
};
