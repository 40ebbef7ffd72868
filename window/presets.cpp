#include "window/presets.h"

#include <algorithm>
#include <cctype>

namespace kinetra::window {

namespace {

int Limited(int position) {
    return std::clamp(position, 0, 100);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Characters of UTF-8 text: every byte but continuation bytes.
std::size_t CharacterCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string GroupOf(const std::string& name) {
    return std::string(kPresetsGroup) + '/' + PresetKey(name);
}

}  // namespace

std::vector<Preset> BuiltInPresets() {
    // The help's "Tuning for music", "Tuning for films" and "Tuning for games" list the same
    // positions (app/help/index.html).
    return {
        // Bass and low mids most responsive, high mids and treble less; nearly full strength.
        {"Music", {{10, 15, 25, 40, 50}, 10}},
        // Explosions in band 1 most responsive, dialogue in band 3 least; medium strength.
        {"Films", {{5, 20, 45, 30, 40}, 40}},
        // Shots, footsteps and hits in bands 3 and 4 most responsive; engines and music in
        // bands 1 and 2 less.
        {"Games", {{30, 30, 10, 10, 35}, 20}},
    };
}

std::string CleanPresetName(const std::string& typed, std::string* why) {
    std::size_t first = 0;
    std::size_t last = typed.size();
    while (first < last && IsSpace(typed[first])) ++first;
    while (last > first && IsSpace(typed[last - 1])) --last;
    const std::string name = typed.substr(first, last - first);
    if (name.empty()) {
        *why = "A preset needs a name.";
        return {};
    }
    if (CharacterCount(name) > static_cast<std::size_t>(kMaxPresetNameLength)) {
        *why = "A preset's name may have " + std::to_string(kMaxPresetNameLength) +
               " characters at most.";
        return {};
    }
    for (const Preset& preset : BuiltInPresets()) {
        if (SameIgnoringCase(name, preset.name)) {
            *why =
                "\"" + preset.name + "\" is a preset that comes with Kinetra; choose another name.";
            return {};
        }
    }
    return name;
}

std::string PresetKey(const std::string& name) {
    std::string key;
    key.reserve(name.size());
    for (const char c : name) {
        if (c == '%') {
            key += "%25";
        } else if (c == '/') {
            key += "%2F";
        } else if (c == '\\') {
            key += "%5C";
        } else {
            key += c;
        }
    }
    return key;
}

std::string PresetNameOfKey(const std::string& key) {
    auto hex = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string name;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '%' && i + 2 < key.size() && hex(key[i + 1]) >= 0 && hex(key[i + 2]) >= 0) {
            name += static_cast<char>(hex(key[i + 1]) * 16 + hex(key[i + 2]));
            i += 2;
        } else {
            name += key[i];
        }
    }
    return name;
}

std::vector<Preset> ReadSavedPresets(const settings::SettingsKey& key) {
    std::vector<Preset> presets;
    for (const std::string& group : key.Groups(kPresetsGroup)) {
        const std::string prefix = std::string(kPresetsGroup) + '/' + group + '/';
        Preset preset;
        preset.name = PresetNameOfKey(group);
        for (int band = 1; band <= kinetra::pipeline::kBands; ++band) {
            preset.positions.level[band - 1] =
                Limited(settings::ReadThreshold(key, prefix + settings::ThresholdValueName(band)));
        }
        preset.positions.strength = Limited(settings::StrengthPositionForStoredGain(
            settings::ReadGain(key, prefix + settings::kGainValueName)));
        presets.push_back(preset);
    }
    return presets;
}

void WriteSavedPreset(settings::SettingsKey& key, const std::string& name,
                      const PresetPositions& positions) {
    const std::string prefix = GroupOf(name) + '/';
    for (int band = 1; band <= kinetra::pipeline::kBands; ++band) {
        key.WriteInt(prefix + settings::ThresholdValueName(band), positions.level[band - 1]);
    }
    key.WriteInt(prefix + settings::kGainValueName,
                 settings::StoredGainForStrengthPosition(positions.strength));
}

}  // namespace kinetra::window
