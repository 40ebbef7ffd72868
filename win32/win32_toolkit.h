// The Windows program's side of the window's toolkit interfaces that need no window of their
// own: timers of the thread's message loop, message boxes, the help viewer, the test sound; and
// small services of the program: texts between UTF-8 and UTF-16, files beside the program, the
// unattended run (KINETRA_QUIT_AFTER_MS, KINETRA_SCREENSHOT) and pictures of a window as PNG.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "window/toolkit.h"

namespace kinetra::win32 {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// Full path of name in the program's own folder. Thread: any.
std::string BesideProgram(const std::string& name);

// KINETRA_QUIT_AFTER_MS and KINETRA_SCREENSHOT. Thread: any.
struct Automation {
    bool quit = false;
    int quitAfterMs = 0;
    std::string screenshot;
};
// False with *error the line that says why KINETRA_QUIT_AFTER_MS is refused.
bool ReadAutomation(Automation* automation, std::string* error);
// The run's automation, set once by main before the window starts.
void SetAutomation(const Automation& automation);
const Automation& CurrentAutomation();

// Saves the client area of window as an RGB PNG at path (stored, not compressed). False when the
// picture cannot be taken or written. Thread: the window's thread.
bool SaveWindowPicture(HWND window, const std::string& path);

// Timers of the user-interface thread's message loop (SetTimer), with a performance-counter clock.
class Win32Timers final : public window::Timers {
public:
    std::unique_ptr<window::Timer> MakeTimer(bool singleShot,
                                             std::function<void()> onTimeout) override;
    std::int64_t NowMs() const override;
};

// Message boxes owned by the main window. In an unattended run each box closes itself after the
// run's time, so that no run waits for a user.
class Win32MessageBoxes final : public window::MessageBoxes {
public:
    void SetOwner(HWND owner) { m_owner = owner; }
    void ShowMessage(const std::string& text, const std::string& caption, window::MessageIcon icon,
                     const std::string& detail) override;
    bool AskText(const std::string& title, const std::string& label, std::string* text) override;
    bool AskYesNo(const std::string& title, const std::string& question) override;
    std::string AskSoundFile() override;

private:
    HWND m_owner = nullptr;
};

// The help: Vibrel.chm beside the program, opened with "hh.exe" at map number 1006 for a topic,
// at its start otherwise.
class HelpViewer final : public window::DocumentOpener {
public:
    bool OpenDocument(const std::string& relativePath, const std::string& fragment) override;
};

// test.wav beside the program, through PlaySoundA.
class TestSound final : public window::SoundPlayer {
public:
    void PlayTestSound() override;
    void StopTestSound() override;
};

}  // namespace kinetra::win32
