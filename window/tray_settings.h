// The tray's three choices, all off by default and kept with the other settings as 0 or 1:
// "closeToTray" (the close box hides the window), "startMinimised" (the window starts hidden)
// and "startAtLogin" (the desktop starts the program at login).
#pragma once

#include "settings/settings_store.h"

namespace kinetra::window {

class TraySettings {
public:
    // Reads the three choices from store, which must outlive this object.
    // Thread (all operations): user-interface thread.
    explicit TraySettings(settings::SettingsStore& store);

    bool CloseToTray() const { return m_closeToTray; }
    bool StartMinimised() const { return m_startMinimised; }
    bool StartAtLogin() const { return m_startAtLogin; }

    // Each choice changes at once and is written to the store.
    void SetCloseToTray(bool on);
    void SetStartMinimised(bool on);
    void SetStartAtLogin(bool on);

private:
    void Remember(const char* name, bool on);

    settings::SettingsStore& m_store;
    bool m_closeToTray = false;
    bool m_startMinimised = false;
    bool m_startAtLogin = false;
};

}  // namespace kinetra::window
