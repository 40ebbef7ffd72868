// A main window's view as its behaviour sees it: the toolkit interfaces the window implements
// itself (its controls, status line, meters and the desktop at start-up) in one base, with the
// sliders told apart by number and the status line's parts likewise, so that a view implements
// each thing once; and the behaviour (MainWindow), made over the view and the toolkit's other
// parts. The Qt window (app/) and the Win32 dialog (win32/) derive from it.
#pragma once

#include <memory>
#include <string>

#include "settings/settings_store.h"
#include "window/main_window.h"
#include "window/slider_meter.h"
#include "window/toolkit.h"

namespace kinetra::window {

class WindowView : public WindowControls,
                   public StatusView,
                   public MeterView,
                   public StartupDesktop {
public:
    static constexpr int kBands = MainWindow::kBands;

protected:
    // The status line's parts, in their order along it.
    enum StatusPart : int { kInputPart = 0, kDevicePart = 1, kHintPart = 2 };
    static constexpr int kStatusParts = 3;

    // Makes the behaviour over this view and the toolkit's other parts, which outlive it: the
    // view resets m_window first in its destructor, while its controls are still there.
    // Thread (all operations): user-interface thread.
    void MakeBehaviour(Timers& timers, MessageBoxes& boxes, settings::SettingsStore& store,
                       DocumentOpener& documents, SoundPlayer& sound) {
        m_window = std::make_unique<MainWindow>(
            WindowParts{*this, *this, *this, timers, boxes, store, documents, sound, *this});
    }

    std::unique_ptr<MainWindow> m_window;

private:
    // What the view implements, a slider by its number (1..5 the levels, MainWindow::kStrength
    // the Strength slider) and a status part by its place; the rest of WindowControls,
    // StatusView and StartupDesktop it implements as they are.
    virtual int SliderPosition(int slider) const = 0;
    // Limits position to 0..100.
    virtual void SetSliderPosition(int slider, int position) = 0;
    virtual void SetSliderMeter(int slider, const SliderMeter& meter) = 0;
    virtual void SetStatusText(StatusPart part, const std::string& text) = 0;

    int LevelPosition(int band) const final { return SliderPosition(band); }
    void SetLevelPosition(int band, int position) final { SetSliderPosition(band, position); }
    int StrengthPosition() const final { return SliderPosition(MainWindow::kStrength); }
    void SetStrengthPosition(int position) final {
        SetSliderPosition(MainWindow::kStrength, position);
    }
    void SetLevelMeter(int band, const SliderMeter& meter) final { SetSliderMeter(band, meter); }
    void SetStrengthMeter(const SliderMeter& meter) final {
        SetSliderMeter(MainWindow::kStrength, meter);
    }
    void SetInputText(const std::string& text) final { SetStatusText(kInputPart, text); }
    void SetDeviceText(const std::string& text) final { SetStatusText(kDevicePart, text); }
    void SetHintText(const std::string& text) final { SetStatusText(kHintPart, text); }
};

}  // namespace kinetra::window
