// Presets of the six slider positions (five response levels and Strength): the three that come
// with the program, "Music", "Films" and "Games" (the positions the help recommends), and those
// the user saves, kept with the settings in a group of their own: "presets/<name>/threshold1"
// .. "threshold5" and "gain", with the same meaning, ranges and defaults as the values of the
// same names at the top.
#pragma once

#include <string>
#include <vector>

#include "pipeline/band_plan.h"
#include "settings/settings_store.h"

namespace kinetra::window {

// Slider positions, 0..100: level[band - 1] (0 most responsive) and Strength (0 full strength).
struct PresetPositions {
    int level[kinetra::pipeline::kBands] = {20, 20, 20, 20, 20};
    int strength = 0;
    bool operator==(const PresetPositions&) const = default;
};

struct Preset {
    std::string name;  // UTF-8
    PresetPositions positions;
};

// The settings group that holds the saved presets.
inline constexpr const char* kPresetsGroup = "presets";
// The longest name a saved preset may have, in characters.
inline constexpr int kMaxPresetNameLength = 40;

// "Music", "Films" and "Games", in that order. Thread: any.
std::vector<Preset> BuiltInPresets();

// The name the user typed (UTF-8), without the spaces around it, when it can name a saved preset;
// else an empty text and *why (for the user) says why not: empty, longer than
// kMaxPresetNameLength, or the name of a built-in preset (in any case). Thread: any.
std::string CleanPresetName(const std::string& typed, std::string* why);

// The settings key of a preset's name: the name with '%', '/' and '\' written as %25, %2F and
// %5C ('/' and '\' separate groups in the stores), and back. Thread: any.
std::string PresetKey(const std::string& name);
std::string PresetNameOfKey(const std::string& key);

// The saved presets, in the store's order. A stored value that cannot be read takes its default
// (level 20, Strength 0); positions outside 0..100 are limited to it. Thread: the key's.
std::vector<Preset> ReadSavedPresets(const settings::SettingsKey& key);
// Stores a preset under name (replacing one of that name); the caller commits the key.
void WriteSavedPreset(settings::SettingsKey& key, const std::string& name,
                      const PresetPositions& positions);

}  // namespace kinetra::window
