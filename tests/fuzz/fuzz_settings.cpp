// libFuzzer target: the settings loader on any file: line continuations removed, then QSettings'
// INI reader and the store's reads of the six values. Nothing may crash, and a repaired file has
// no continuation left.
#include <unistd.h>

#include <QFile>
#include <QSettings>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "settings/qsettings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::vector<int> lines;
    const QByteArray repaired = kinetra::settings::WithoutLineContinuations(text, &lines);
    std::vector<int> left;
    kinetra::settings::WithoutLineContinuations(repaired, &left);
    if (!left.empty() || repaired.size() != text.size() - static_cast<qsizetype>(lines.size())) {
        std::abort();
    }

    static const QString path =
        QStringLiteral("/tmp/kinetra-fuzz-settings-%1.conf").arg(static_cast<qint64>(getpid()));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(text);
    }
    kinetra::settings::RepairSettingsFile(path);
    {
        const QSettings key(path, QSettings::IniFormat);
        for (int band = 1; band <= 5; ++band) {
            kinetra::settings::ReadThreshold(key, kinetra::settings::ThresholdValueName(band));
        }
        kinetra::settings::ReadGain(key, kinetra::settings::kGainValueName);
    }
    QFile::remove(path);
    return 0;
}
