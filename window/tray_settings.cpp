#include "window/tray_settings.h"

#include <memory>

#include "platform/debug_output.h"

namespace kinetra::window {

TraySettings::TraySettings(settings::SettingsStore& store) : m_store(store) {
    const std::unique_ptr<settings::SettingsKey> key = m_store.Open();
    auto read = [&key](const char* name) { return key->ReadInt(name).value_or(0) != 0; };
    m_closeToTray = read(settings::kCloseToTrayValueName);
    m_startMinimised = read(settings::kStartMinimisedValueName);
    m_startAtLogin = read(settings::kStartAtLoginValueName);
}

void TraySettings::Remember(const char* name, bool on) {
    const std::unique_ptr<settings::SettingsKey> key = m_store.Open();
    key->WriteInt(name, on ? 1 : 0);
    if (!key->Commit()) DebugOutput("TRAY: could not save the choice\n");
}

void TraySettings::SetCloseToTray(bool on) {
    m_closeToTray = on;
    Remember(settings::kCloseToTrayValueName, on);
}

void TraySettings::SetStartMinimised(bool on) {
    m_startMinimised = on;
    Remember(settings::kStartMinimisedValueName, on);
}

void TraySettings::SetStartAtLogin(bool on) {
    m_startAtLogin = on;
    Remember(settings::kStartAtLoginValueName, on);
}

}  // namespace kinetra::window
