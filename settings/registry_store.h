// The settings on Windows: the per-user registry key "Software\Ondrel Corporation\Kinetra
// Entertainment" under HKEY_CURRENT_USER, opened with RegCreateKeyExA (created when missing) for
// each load and each save. "threshold1".."threshold5", "gain", "mode" and the tray's choices are
// REG_DWORD values, the input and force-device choices REG_SZ values beside them, and a group
// ("presets/Music") is a subkey ("presets\Music"). Names and texts below the key are written and
// read as Unicode (the program's UTF-8 converted).
#pragma once

#include <memory>
#include <string>

#include "settings/settings_store.h"

namespace kinetra::settings {

inline constexpr const char* kRegistryKey = "Software\\Ondrel Corporation\\Kinetra Entertainment";

class RegistryStore final : public SettingsStore {
public:
    // subkey under HKEY_CURRENT_USER (another one for tests). Thread: user-interface thread.
    explicit RegistryStore(std::string subkey = kRegistryKey);
    std::unique_ptr<SettingsKey> Open() override;

private:
    std::string m_subkey;
};

}  // namespace kinetra::settings
