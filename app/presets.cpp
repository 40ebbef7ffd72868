#include "app/presets.h"

#include <QSettings>
#include <QUrl>
#include <algorithm>

#include "app/settings_store.h"

namespace kinetra::app {

namespace {

int Limited(int position) {
    return std::clamp(position, 0, 100);
}

}  // namespace

std::vector<Preset> BuiltInPresets() {
    // The help's "Tuning for music", "Tuning for films" and "Tuning for games" list the same
    // positions (app/help/index.html).
    return {
        // Bass and low mids most responsive, high mids and treble less; nearly full strength.
        {QStringLiteral("Music"), {{10, 15, 25, 40, 50}, 10}},
        // Explosions in band 1 most responsive, dialogue in band 3 least; medium strength.
        {QStringLiteral("Films"), {{5, 20, 45, 30, 40}, 40}},
        // Shots, footsteps and hits in bands 3 and 4 most responsive; engines and music in
        // bands 1 and 2 less.
        {QStringLiteral("Games"), {{30, 30, 10, 10, 35}, 20}},
    };
}

QString CleanPresetName(const QString& typed, QString* why) {
    const QString name = typed.trimmed();
    if (name.isEmpty()) {
        *why = QStringLiteral("A preset needs a name.");
        return {};
    }
    if (name.size() > kMaxPresetNameLength) {
        *why = QStringLiteral("A preset's name may have %1 characters at most.")
                   .arg(kMaxPresetNameLength);
        return {};
    }
    for (const Preset& preset : BuiltInPresets()) {
        if (name.compare(preset.name, Qt::CaseInsensitive) == 0) {
            *why =
                QStringLiteral("\"%1\" is a preset that comes with Kinetra; choose another name.")
                    .arg(preset.name);
            return {};
        }
    }
    return name;
}

QString PresetKey(const QString& name) {
    QString key;
    key.reserve(name.size());
    for (const QChar c : name) {
        if (c == '%') {
            key += QStringLiteral("%25");
        } else if (c == '/') {
            key += QStringLiteral("%2F");
        } else if (c == '\\') {
            key += QStringLiteral("%5C");
        } else {
            key += c;
        }
    }
    return key;
}

QString PresetNameOfKey(const QString& key) {
    return QUrl::fromPercentEncoding(key.toUtf8());
}

std::vector<Preset> ReadSavedPresets(QSettings& key) {
    std::vector<Preset> presets;
    key.beginGroup(QString::fromLatin1(kPresetsGroup));
    for (const QString& group : key.childGroups()) {
        key.beginGroup(group);
        Preset preset;
        preset.name = PresetNameOfKey(group);
        for (int band = 1; band <= kinetra::pipeline::kBands; ++band) {
            preset.positions.level[band - 1] =
                Limited(ReadThreshold(key, ThresholdValueName(band)));
        }
        preset.positions.strength =
            Limited(StrengthPositionForStoredGain(ReadGain(key, kGainValueName)));
        key.endGroup();
        presets.push_back(preset);
    }
    key.endGroup();
    return presets;
}

void WriteSavedPreset(QSettings& key, const QString& name, const PresetPositions& positions) {
    key.beginGroup(QString::fromLatin1(kPresetsGroup) + '/' + PresetKey(name));
    for (int band = 1; band <= kinetra::pipeline::kBands; ++band) {
        WriteStoredInt(key, ThresholdValueName(band), positions.level[band - 1]);
    }
    WriteStoredInt(key, kGainValueName, StoredGainForStrengthPosition(positions.strength));
    key.endGroup();
}

}  // namespace kinetra::app
