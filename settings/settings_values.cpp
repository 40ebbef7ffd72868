#include <algorithm>

#include "settings/settings_store.h"

namespace kinetra::settings {

const char* ThresholdValueName(int band) {
    static const char* const kNames[5] = {"threshold1", "threshold2", "threshold3", "threshold4",
                                          "threshold5"};
    return band >= 1 && band <= 5 ? kNames[band - 1] : "";
}

std::int32_t ReadThreshold(const SettingsKey& key, const std::string& name) {
    return key.ReadInt(name).value_or(kDefaultThreshold);
}

std::int32_t ReadGain(const SettingsKey& key, const std::string& name) {
    return key.ReadInt(name).value_or(kDefaultGain);
}

int ReadMode(const SettingsKey& key) {
    return key.ReadInt(kModeValueName).value_or(kClassicModeValue) == kHitsModeValue
               ? kHitsModeValue
               : kClassicModeValue;
}

int StrengthPositionForStoredGain(std::int32_t storedGain) {
    // Formed in 64 bits (100 - INT32_MIN does not fit in 32), then kept just outside 0..100 so
    // that the slider's own limiting decides.
    const std::int64_t position = 100 - static_cast<std::int64_t>(storedGain);
    return static_cast<int>(std::clamp<std::int64_t>(position, -1, 101));
}

std::int32_t StoredGainForStrengthPosition(int position) {
    return 100 - position;
}

}  // namespace kinetra::settings
