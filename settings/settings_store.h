// The per-user settings: the five level positions and the strength, the response mode, the
// choices of input and force device, the tray's choices and the saved presets. Where they live
// differs by system (an INI file through QSettings on Linux, the registry on Windows); the window
// reaches them only through SettingsStore, opened once for each load or save.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kinetra::settings {

// One opening of the store, for one load or one save; nothing stays open between two. Names
// are plain value names ("threshold1") or a path of groups and a value name separated by '/'
// ("presets/Music/gain"). Thread (all operations): the thread that opened it.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;

    // A stored whole number in 32 bits (signed), or nothing when the value is missing or is not
    // one (a text that is not a whole decimal number, a number that does not fit).
    virtual std::optional<std::int32_t> ReadInt(const std::string& name) const = 0;
    // A stored text (UTF-8), or nothing when it is missing or empty.
    virtual std::optional<std::string> ReadText(const std::string& name) const = 0;
    // The names of the groups directly inside group, in the store's own order.
    virtual std::vector<std::string> Groups(const std::string& group) const = 0;

    // Whether anything written can reach the store at all.
    virtual bool Writable() const = 0;
    // Sets one value; it reaches the store by Commit at the latest.
    virtual void WriteInt(const std::string& name, std::int32_t value) = 0;
    virtual void WriteText(const std::string& name, const std::string& value) = 0;
    // Removes a value or a group with everything in it; false where the store cannot.
    virtual bool Remove(const std::string& /*name*/) { return false; }
    // Writes what was set; false when it could not be saved (what was stored before stays).
    virtual bool Commit() = 0;
    // Where the settings live, for people: a file's path, or the registry key.
    virtual std::string Location() const = 0;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens the store (creating it when it does not exist yet). Never null: a store that cannot
    // be opened gives a key that reads nothing and is not writable. Thread: user-interface
    // thread.
    virtual std::unique_ptr<SettingsKey> Open() = 0;
};

inline constexpr int kDefaultThreshold = 20;
inline constexpr int kDefaultGain = 100;

// Setting name of level slider band (1..5): "threshold1".."threshold5"; "" outside 1..5.
// Thread: any.
const char* ThresholdValueName(int band);
inline constexpr const char* kGainValueName = "gain";

// The stored position of a level slider, 20 when it cannot be read; the stored strength in
// percent, 100 when it cannot be read. Thread: the key's.
std::int32_t ReadThreshold(const SettingsKey& key, const std::string& name);
std::int32_t ReadGain(const SettingsKey& key, const std::string& name);

// The stored "gain" is the strength in percent of full: 100 - the Strength slider's position
// (position 0, the top, is full strength). Out-of-range stored values give positions outside
// 0..100, which the slider limits. Thread: any.
int StrengthPositionForStoredGain(std::int32_t storedGain);
std::int32_t StoredGainForStrengthPosition(int position);

// The band mappers' response mode, stored as "mode": 0 classic, 1 hits. ReadMode gives 0 when the
// value is missing or is neither. Thread: the key's.
inline constexpr const char* kModeValueName = "mode";
inline constexpr int kClassicModeValue = 0;
inline constexpr int kHitsModeValue = 1;
int ReadMode(const SettingsKey& key);

// Settings keys of the input and force-device choices, in the syntax of KINETRA_AUDIO_INPUT and
// KINETRA_FORCE_DEVICE.
inline constexpr const char* kInputValueName = "input";
inline constexpr const char* kForceDeviceValueName = "forceDevice";

// Setting names of the tray's three choices (0 or 1).
inline constexpr const char* kCloseToTrayValueName = "closeToTray";
inline constexpr const char* kStartMinimisedValueName = "startMinimised";
inline constexpr const char* kStartAtLoginValueName = "startAtLogin";

}  // namespace kinetra::settings
