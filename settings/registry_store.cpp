#include "settings/registry_store.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <vector>

namespace kinetra::settings {

namespace {

// The registry's own form of the program's UTF-8 texts, and back.
std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::string Utf8(const wchar_t* text, std::size_t size) {
    if (size == 0) return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

// "presets/Music" as the registry's "presets\Music".
std::wstring RegistryPath(const std::string& group) {
    std::wstring path = Wide(group);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

// "presets/Music/gain" as the subkey "presets\Music" and the value "gain".
void SplitName(const std::string& name, std::string* subkey, std::string* value) {
    const std::size_t slash = name.rfind('/');
    *value = slash == std::string::npos ? name : name.substr(slash + 1);
    *subkey = slash == std::string::npos ? std::string() : name.substr(0, slash);
}

class RegistryKey final : public SettingsKey {
public:
    explicit RegistryKey(const std::string& subkey) {
        const LONG opened =
            RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
        if (opened != ERROR_SUCCESS) m_key = nullptr;
        m_location = "HKEY_CURRENT_USER\\" + subkey;
    }
    ~RegistryKey() override {
        if (m_key != nullptr) RegCloseKey(m_key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    std::optional<std::int32_t> ReadInt(const std::string& name) const override {
        DWORD type = 0;
        std::vector<char> data;
        if (!Query(name, &type, &data)) return std::nullopt;
        if (type != REG_DWORD || data.size() != sizeof(DWORD)) return std::nullopt;
        std::uint32_t value = 0;
        std::memcpy(&value, data.data(), sizeof value);
        return static_cast<std::int32_t>(value);
    }

    std::optional<std::string> ReadText(const std::string& name) const override {
        DWORD type = 0;
        std::vector<char> data;
        if (!Query(name, &type, &data) || type != REG_SZ) return std::nullopt;
        std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
        std::memcpy(wide.data(), data.data(), wide.size() * sizeof(wchar_t));
        wide.resize(wcsnlen(wide.c_str(), wide.size()));  // without the terminating zeros
        if (wide.empty()) return std::nullopt;
        return Utf8(wide.data(), wide.size());
    }

    std::vector<std::string> Groups(const std::string& group) const override {
        std::vector<std::string> groups;
        HKEY key = Subkey(group, false);
        if (key == nullptr) return groups;
        wchar_t name[256];  // the longest key name the registry allows, and its end
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(std::size(name));
            if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            groups.push_back(Utf8(name, length));
        }
        Release(key);
        return groups;
    }

    bool Writable() const override { return m_key != nullptr; }

    void WriteInt(const std::string& name, std::int32_t value) override {
        const auto dword = static_cast<DWORD>(static_cast<std::uint32_t>(value));
        Set(name, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    }

    void WriteText(const std::string& name, const std::string& value) override {
        const std::wstring wide = Wide(value);
        Set(name, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
            static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    }

    // A group is a subkey, deleted with all it holds; a value is deleted from its group's key.
    // Nothing there to remove is no failure.
    bool Remove(const std::string& name) override {
        if (m_key == nullptr || name.empty()) return false;
        if (HKEY group = Subkey(name, false)) {
            Release(group);
            const LONG deleted = RegDeleteTreeW(m_key, RegistryPath(name).c_str());
            return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
        }
        std::string group;
        std::string value;
        SplitName(name, &group, &value);
        HKEY key = m_key;
        if (!group.empty() && RegOpenKeyExW(m_key, RegistryPath(group).c_str(), 0, KEY_SET_VALUE,
                                            &key) != ERROR_SUCCESS) {
            return true;  // no such group, so no such value
        }
        const LONG deleted = RegDeleteValueW(key, Wide(value).c_str());
        Release(key);
        return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
    }

    // The registry writes at once; Commit reports whether every write since the opening did.
    bool Commit() override { return m_key != nullptr && !m_writeFailed; }

    std::string Location() const override { return m_location; }

private:
    // The key holding a value of group (the key itself for none); null when it is not there.
    // A key it returns other than m_key is closed with Release.
    HKEY Subkey(const std::string& group, bool create) const {
        if (m_key == nullptr) return nullptr;
        if (group.empty()) return m_key;
        const std::wstring path = RegistryPath(group);
        HKEY key = nullptr;
        const LONG result =
            create ? RegCreateKeyExW(m_key, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, &key, nullptr)
                   : RegOpenKeyExW(m_key, path.c_str(), 0, KEY_READ, &key);
        return result == ERROR_SUCCESS ? key : nullptr;
    }
    void Release(HKEY key) const {
        if (key != nullptr && key != m_key) RegCloseKey(key);
    }

    bool Query(const std::string& name, DWORD* type, std::vector<char>* data) const {
        std::string group;
        std::string value;
        SplitName(name, &group, &value);
        HKEY key = Subkey(group, false);
        if (key == nullptr) return false;
        const std::wstring valueName = Wide(value);
        DWORD size = 0;
        bool ok = RegQueryValueExW(key, valueName.c_str(), nullptr, type, nullptr, &size) ==
                  ERROR_SUCCESS;
        if (ok) {
            data->resize(size);
            ok = RegQueryValueExW(key, valueName.c_str(), nullptr, type,
                                  reinterpret_cast<BYTE*>(data->data()), &size) == ERROR_SUCCESS;
            data->resize(size);
        }
        Release(key);
        return ok;
    }

    void Set(const std::string& name, DWORD type, const BYTE* data, DWORD size) {
        std::string group;
        std::string value;
        SplitName(name, &group, &value);
        HKEY key = Subkey(group, true);
        if (key == nullptr ||
            RegSetValueExW(key, Wide(value).c_str(), 0, type, data, size) != ERROR_SUCCESS) {
            m_writeFailed = true;
        }
        Release(key);
    }

    HKEY m_key = nullptr;
    std::string m_location;
    bool m_writeFailed = false;
};

}  // namespace

RegistryStore::RegistryStore(std::string subkey) : m_subkey(std::move(subkey)) {}

std::unique_ptr<SettingsKey> RegistryStore::Open() {
    return std::make_unique<RegistryKey>(m_subkey);
}

}  // namespace kinetra::settings
