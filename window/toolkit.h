// What the main window's behaviour asks of a toolkit, one small interface per concern: the
// controls' state, the status line, the meters, timers and the clock, message boxes, opening the
// program's documents, the test sound, and the desktop at start-up. A front end (the Qt window on
// Linux) implements them; tests implement them with fakes. Texts are UTF-8.
//
// Thread and lifetime, for every interface here: called on the user-interface thread only, and
// the object outlives the behaviour that holds it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "window/slider_meter.h"

namespace kinetra::window {

// The window's controls: five level sliders and their Disable boxes (band 1..5), the Strength
// slider and the Locked box. Every slider has the range 0..100 (0 at the top).
class WindowControls {
public:
    virtual ~WindowControls() = default;
    // The position a slider shows (also while it is dragged); setting it limits it to 0..100.
    virtual int LevelPosition(int band) const = 0;
    virtual void SetLevelPosition(int band, int position) = 0;
    virtual void SetLevelEnabled(int band, bool enabled) = 0;
    // Tick marks every 10 positions (true) or none.
    virtual void SetLevelTicks(int band, bool shown) = 0;
    virtual int StrengthPosition() const = 0;
    virtual void SetStrengthPosition(int position) = 0;
    virtual bool DisableChecked(int band) const = 0;
    virtual bool LockedChecked() const = 0;
    virtual void SetLockedChecked(bool checked) = 0;
    // Closes the window (its modal loop ends) once the event being handled is done; nothing
    // when it is not shown.
    virtual void CloseLater() = 0;
};

// The status line's three parts: the input, the force device, the hint about the sound.
class StatusView {
public:
    virtual ~StatusView() = default;
    virtual void SetInputText(const std::string& text) = 0;
    virtual void SetDeviceText(const std::string& text) = 0;
    virtual void SetHintText(const std::string& text) = 0;
    // A problem the user should see: a warning (an icon and a colour) until it is set empty;
    // detail (reason and what to try) is what clicking the warning shows.
    virtual void SetProblem(const std::string& /*text*/, const std::string& /*detail*/) {}
};

// The meters drawn in the sliders' grooves (window/slider_meter.h).
class MeterView {
public:
    virtual ~MeterView() = default;
    virtual void SetLevelMeter(int band, const SliderMeter& meter) = 0;
    virtual void SetStrengthMeter(const SliderMeter& meter) = 0;
};

// A timer of the toolkit's event loop.
class Timer {
public:
    virtual ~Timer() = default;
    // Starts, or starts again, with this interval in milliseconds.
    virtual void Start(int ms) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
    virtual int IntervalMs() const = 0;
};

class Timers {
public:
    virtual ~Timers() = default;
    // A timer that calls onTimeout on the user-interface thread after each interval (once per
    // Start when singleShot), give or take 5 % so that timers can share wake-ups; never after it
    // is stopped or destroyed.
    virtual std::unique_ptr<Timer> MakeTimer(bool singleShot, std::function<void()> onTimeout) = 0;
    // Milliseconds of a steady clock, from any origin.
    virtual std::int64_t NowMs() const = 0;
};

enum class MessageIcon { kError, kExclamation };
// Caption of every error and warning box.
inline constexpr const char* kErrorCaption = "Error - Ondrel Kinetra Entertainment";

// Modal boxes: each returns when the user has answered it.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // text is the box's first line; detail (when not empty) the reason and what to try below it.
    virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                             const std::string& detail) = 0;
    // A line of text: true with *text the answer, false when cancelled. *text holds the proposed
    // answer on entry.
    virtual bool AskText(const std::string& title, const std::string& label, std::string* text) = 0;
    // A yes-or-no question; true for yes.
    virtual bool AskYesNo(const std::string& /*title*/, const std::string& /*question*/) {
        return true;
    }
    // A sound file's path, or an empty text when cancelled.
    virtual std::string AskSoundFile() = 0;
};

// The program's documents (the help), opened with the desktop's viewer.
class DocumentOpener {
public:
    virtual ~DocumentOpener() = default;
    // Opens the data file relativePath ("help/index.html") at fragment (empty: at its start).
    // False when the file is missing.
    virtual bool OpenDocument(const std::string& relativePath, const std::string& fragment) = 0;
};

// The Test button's sound (the bundled test.wav), played without waiting for it.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void PlayTestSound() = 0;
    virtual void StopTestSound() = 0;
};

// What start-up asks of the desktop.
class StartupDesktop {
public:
    virtual ~StartupDesktop() = default;
    // Warns when the maker's desktop program runs beside this one.
    virtual void CheckDesktopProgram() = 0;
    // The application and the window, for the force library (pipeline::StartOptions).
    virtual void* OwnerInstance() = 0;
    virtual void* OwnerWindow() = 0;
};

}  // namespace kinetra::window
