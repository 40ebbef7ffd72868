#include "settings/qsettings_store.h"

#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>

#include "platform/parse_int.h"

namespace kinetra::settings {

namespace {

// One QSettings opening as a SettingsKey; '/' in names is QSettings' own group separator.
class QSettingsKey final : public SettingsKey {
public:
    explicit QSettingsKey(std::unique_ptr<QSettings> key) : m_key(std::move(key)) {}

    std::optional<std::int32_t> ReadInt(const std::string& name) const override {
        return ReadStoredNumber(*m_key, name.c_str());
    }
    std::optional<std::string> ReadText(const std::string& name) const override {
        return ReadStoredText(*m_key, name.c_str());
    }
    std::vector<std::string> Groups(const std::string& group) const override {
        m_key->beginGroup(QString::fromStdString(group));  // '/' nests, as in value names
        std::vector<std::string> groups;
        for (const QString& child : m_key->childGroups()) groups.push_back(child.toStdString());
        m_key->endGroup();
        return groups;
    }
    bool Writable() const override { return m_key->isWritable(); }
    void WriteInt(const std::string& name, std::int32_t value) override {
        WriteStoredInt(*m_key, name.c_str(), value);
    }
    void WriteText(const std::string& name, const std::string& value) override {
        m_key->setValue(QString::fromStdString(name), QString::fromStdString(value));
    }
    bool Remove(const std::string& name) override {
        m_key->remove(QString::fromStdString(name));
        return true;
    }
    bool Commit() override { return SyncSettingsKey(*m_key); }
    std::string Location() const override { return m_key->fileName().toStdString(); }

private:
    std::unique_ptr<QSettings> m_key;
};

}  // namespace

std::unique_ptr<SettingsKey> QSettingsStore::Open() {
    return std::make_unique<QSettingsKey>(OpenSettingsKey());
}

std::unique_ptr<QSettings> OpenSettingsKey() {
    auto key = std::make_unique<QSettings>(QStringLiteral("Ondrel Corporation"),
                                           QStringLiteral("Kinetra Entertainment"));
    // Read again when the file had to be repaired.
    if (RepairSettingsFile(key->fileName())) key->sync();
    return key;
}

namespace {

// Rewrites text one line at a time and keeps every line end as it is. rewrite(line, out) appends
// the line's new form to out and returns true when it changed it; the numbers of the changed
// lines, as QSettings counts them (a line ends at '\n' or '\r', "\r\n" being one end, and at
// the end of the text), go to lines.
template <class Rewrite>
QByteArray RewriteLines(const QByteArray& text, std::vector<int>* lines, Rewrite rewrite) {
    QByteArray out;
    out.reserve(text.size());
    int number = 1;
    qsizetype start = 0;  // of the current line
    for (qsizetype at = 0; at <= text.size(); ++at) {
        const bool end = at == text.size();
        if (!end && text[at] != '\n' && text[at] != '\r') continue;
        if (rewrite(QByteArrayView(text.constData() + start, at - start), out) &&
            lines != nullptr) {
            lines->push_back(number);
        }
        if (end) break;
        out.append(text[at]);
        if (text[at] == '\n' || at + 1 == text.size() || text[at + 1] != '\n') ++number;
        start = at + 1;
    }
    return out;
}

}  // namespace

QByteArray WithoutLineContinuations(const QByteArray& text, std::vector<int>* lines) {
    return RewriteLines(text, lines, [](QByteArrayView line, QByteArray& out) {
        qsizetype backslashes = 0;
        while (backslashes < line.size() && line[line.size() - backslashes - 1] == '\\')
            ++backslashes;
        qsizetype first = 0;
        while (first < line.size() && (line[first] == ' ' || line[first] == '\t')) ++first;
        const bool comment = first < line.size() && line[first] == ';';
        if (backslashes % 2 == 1 && !comment) {
            out.append(line.first(line.size() - 1));
            return true;
        }
        out.append(line);
        return false;
    });
}

QByteArray WithoutStoredVariants(const QByteArray& text, std::vector<int>* lines) {
    static const QByteArray kVariant = QByteArrayLiteral("@Variant(");
    return RewriteLines(text, lines, [](QByteArrayView line, QByteArray& out) {
        const QByteArrayView trimmed = line.trimmed();
        qsizetype value =
            trimmed.startsWith(';') || trimmed.startsWith('[') ? -1 : line.indexOf('=');
        if (value >= 0) {
            ++value;
            while (value < line.size() && (line[value] == ' ' || line[value] == '\t')) ++value;
            if (value < line.size() && line[value] == '"') ++value;
        }
        if (value >= 0 && line.sliced(value).startsWith(kVariant)) {
            // Qt reads "@@" as a plain '@': the value stays in the file as the text it shows.
            out.append(line.first(value)).append('@').append(line.sliced(value));
            return true;
        }
        out.append(line);
        return false;
    });
}

bool RepairSettingsFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;  // none yet, or unreadable: nothing to do
    const QByteArray text = file.readAll();
    file.close();
    std::vector<int> lines;
    std::vector<int> variants;
    const QByteArray repaired =
        WithoutStoredVariants(WithoutLineContinuations(text, &lines), &variants);
    if (lines.empty() && variants.empty()) return false;
    QSaveFile out(path);
    const bool saved =
        out.open(QIODevice::WriteOnly) && out.write(repaired) == repaired.size() && out.commit();
    static std::atomic<bool> s_variantsReported{false};
    if (!variants.empty() && !s_variantsReported.exchange(true)) {
        std::fprintf(stderr,
                     "Settings: %s holds serialised Qt values, which Kinetra never writes; they "
                     "are kept as plain text%s\n",
                     path.toLocal8Bit().constData(),
                     saved ? "" : " (the file could not be rewritten, so they are not read)");
    }
    static std::atomic<bool> s_reported{false};
    if (lines.empty()) return saved;
    if (!s_reported.exchange(true)) {
        QString which;
        for (int line : lines) which += (which.isEmpty() ? "" : ", ") + QString::number(line);
        const QString report =
            QStringLiteral(
                "Settings: %1 %2 of %3 ended in a backslash, which joins a line to the next "
                "one; %4")
                .arg(lines.size() == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                .arg(which, path,
                     saved ? QStringLiteral("the backslash was removed, so no value is lost")
                           : QStringLiteral("the file could not be rewritten, so values after "
                                            "it are not read"));
        std::fprintf(stderr, "%s\n", report.toLocal8Bit().constData());
    }
    return saved;
}

std::optional<std::int32_t> ReadStoredNumber(const QSettings& key, const char* name) {
    const QVariant value = key.value(QString::fromUtf8(name));
    if (!value.isValid()) return std::nullopt;
    bool ok = false;
    qlonglong number = 0;
    if (value.typeId() == QMetaType::QString) {
        // The stored text: the same rule as every number the program takes from outside.
        std::int32_t parsed = 0;
        ok = kinetra::ParseInt32(value.toString().trimmed().toStdString(),
                                 std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max(), &parsed, nullptr);
        number = parsed;
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
        return std::nullopt;
    }
    return static_cast<std::int32_t>(number);
}

std::int32_t ReadStoredInt(const QSettings& key, const char* name, std::int32_t fallback) {
    return ReadStoredNumber(key, name).value_or(fallback);
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

std::optional<std::string> ReadStoredText(const QSettings& key, const char* name) {
    const QVariant value = key.value(QString::fromUtf8(name));
    if (!value.isValid()) return std::nullopt;
    const std::string text = value.toString().toStdString();
    if (text.empty()) return std::nullopt;
    return text;
}

void WriteStoredInt(QSettings& key, const char* name, std::int32_t value) {
    key.setValue(QString::fromUtf8(name), static_cast<int>(value));
}

bool SyncSettingsKey(QSettings& key) {
    key.sync();
    return key.status() == QSettings::NoError;
}

}  // namespace kinetra::settings
