// Presets of the six slider positions (five response levels and Strength): the three that come
// with the program, "Music", "Films" and "Games" (the positions the help recommends), and those
// the user saves, kept in the settings file in a group of their own: "presets/<name>/threshold1"
// .. "threshold5" and "gain", with the same meaning, ranges and defaults as the values of the
// same names at the top of the file.
#pragma once

#include <QString>
#include <vector>

#include "pipeline/band_plan.h"

class QSettings;

namespace kinetra::app {

// Slider positions, 0..100: level[band - 1] (0 most responsive) and Strength (0 full strength).
struct PresetPositions {
    int level[kinetra::pipeline::kBands] = {20, 20, 20, 20, 20};
    int strength = 0;
    bool operator==(const PresetPositions&) const = default;
};

struct Preset {
    QString name;
    PresetPositions positions;
};

// The settings group that holds the saved presets.
inline constexpr const char* kPresetsGroup = "presets";
// The longest name a saved preset may have, in characters.
inline constexpr int kMaxPresetNameLength = 40;

// "Music", "Films" and "Games", in that order. Thread: any.
std::vector<Preset> BuiltInPresets();

// The name the user typed, trimmed, when it can name a saved preset; else an empty string and
// *why (for the user) says why not: empty, longer than kMaxPresetNameLength, or the name of a
// built-in preset (in any case). Thread: any.
QString CleanPresetName(const QString& typed, QString* why);

// The settings key of a preset's name: the name with '%', '/' and '\' written as %25, %2F and
// %5C (QSettings reads '/' and '\' in a key as group separators), and back. Thread: any.
QString PresetKey(const QString& name);
QString PresetNameOfKey(const QString& key);

// The saved presets, by name as QSettings orders them. A stored value that cannot be read takes
// its default (level 20, Strength 0); positions outside 0..100 are limited to it.
// Thread: user-interface thread.
std::vector<Preset> ReadSavedPresets(QSettings& key);
// Stores a preset under name (replacing one of that name); the caller syncs the key.
// Thread: user-interface thread.
void WriteSavedPreset(QSettings& key, const QString& name, const PresetPositions& positions);

}  // namespace kinetra::app
