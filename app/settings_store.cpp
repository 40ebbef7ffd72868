#include "app/settings_store.h"

#include <QSettings>
#include <QString>
#include <QVariant>
#include <algorithm>
#include <limits>

namespace kinetra::app {

std::unique_ptr<QSettings> OpenSettingsKey() {
    return std::make_unique<QSettings>(QStringLiteral("Ondrel Corporation"),
                                       QStringLiteral("Kinetra Entertainment"));
}

std::int32_t ReadStoredInt(const QSettings& key, const char* name, std::int32_t fallback) {
    const QVariant value = key.value(QString::fromLatin1(name));
    if (!value.isValid()) return fallback;
    bool ok = false;
    qlonglong number = 0;
    if (value.typeId() == QMetaType::QString) {
        number = value.toString().trimmed().toLongLong(&ok, 10);
    } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong ||
               value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::ULongLong) {
        // Written by this process through the same store: a real integer type.
        number = value.toLongLong(&ok);
        if (value.typeId() == QMetaType::ULongLong &&
            value.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qlonglong>::max())) {
            ok = false;
        }
    }
    if (!ok || number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max()) {
        return fallback;
    }
    return static_cast<std::int32_t>(number);
}

std::int32_t ReadThreshold(const QSettings& key, const char* name) {
    return ReadStoredInt(key, name, kDefaultThreshold);
}

std::int32_t ReadGain(const QSettings& key, const char* name) {
    return ReadStoredInt(key, name, kDefaultGain);
}

int ReadMode(const QSettings& key) {
    const std::int32_t value = ReadStoredInt(key, kModeValueName, kClassicModeValue);
    return value == kHitsModeValue ? kHitsModeValue : kClassicModeValue;
}

void WriteStoredInt(QSettings& key, const char* name, std::int32_t value) {
    key.setValue(QString::fromLatin1(name), static_cast<int>(value));
}

bool SyncSettingsKey(QSettings& key) {
    key.sync();
    return key.status() == QSettings::NoError;
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

const char* ThresholdValueName(int band) {
    static const char* const kNames[5] = {"threshold1", "threshold2", "threshold3", "threshold4",
                                          "threshold5"};
    return band >= 1 && band <= 5 ? kNames[band - 1] : "";
}

}  // namespace kinetra::app
