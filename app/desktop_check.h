// The maker's desktop force-feedback program holds the device while it runs; the user is warned
// to close it before this program starts, unless the device is an "iFeel" mouse.
#pragma once

#include <functional>

class QWidget;

namespace kinetra::app {

// Window class of the desktop program's main window.
inline constexpr const char kDesktopWindowClass[] = "Ondrel Desktop Window";
inline constexpr const char kDesktopWarning[] =
    "Please exit Ondrel Kinetra Desktop before proceeding.";

// Whether a top-level window of the class exists: on X11 (when DISPLAY is set) a window whose
// WM_CLASS class is windowClass among the root's children and their children (window managers
// put client windows inside frames); elsewhere there is none. Thread: user-interface thread.
bool FindTopLevelWindowOfClass(const char* windowClass);

// Replaces how the check looks for the window (tests); an empty function restores the real one.
using WindowFinder = std::function<bool(const char* windowClass)>;
void SetWindowFinder(WindowFinder finder);

// When the desktop program's window exists: opens the device for a look at its name (flags 4)
// and, when it was opened and its name does not contain "iFeel", shows the warning in a box
// owned by owner. Never stops anything. Thread: user-interface thread.
void CheckDesktopProgram(void* instance, QWidget* owner);

}  // namespace kinetra::app
