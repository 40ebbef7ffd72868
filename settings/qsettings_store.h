// The settings on Linux: kept per user with QSettings under "Ondrel Corporation" / "Kinetra
// Entertainment" (an INI file in the user's configuration folder), the value names of
// settings/settings_store.h at the top of the file and the saved presets in a group of their own.
#pragma once

#include <QSettings>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_store.h"

namespace kinetra::settings {

// The SettingsStore of the program on Linux: each Open is an OpenSettingsKey.
class QSettingsStore final : public SettingsStore {
public:
    std::unique_ptr<SettingsKey> Open() override;
};

// Opens the store for one load or one save, after RepairSettingsFile on its file.
// Thread: user-interface thread.
std::unique_ptr<QSettings> OpenSettingsKey();

// An INI line that ends in an odd number of backslashes is joined to the next line by QSettings
// (a line continuation), so a value like "threshold1=30\" swallows the line after it. Returns
// text without them: each such line (comment lines aside) loses its last backslash. *lines (when
// not null) gets the 1-based numbers of those lines. Thread: any.
QByteArray WithoutLineContinuations(const QByteArray& text, std::vector<int>* lines);

// A value that starts "@Variant(" is a serialised Qt value, decoded with lengths taken from the
// file itself: a damaged one can ask for gigabytes. Kinetra stores only numbers and text, so such
// a value gets its '@' doubled, which QSettings reads as the plain text the file shows. *lines
// (when not null) gets the 1-based numbers of those lines. Thread: any.
QByteArray WithoutStoredVariants(const QByteArray& text, std::vector<int>* lines);

// Drops the line continuations from the settings file at path (rewritten whole, atomically), so
// that no value is lost through one, and keeps serialised values as text (WithoutStoredVariants);
// says so on standard error the first time in the process. True when the file was rewritten.
// Thread: user-interface thread.
bool RepairSettingsFile(const QString& path);

// A stored value as a 32-bit integer: fallback when the value is missing, is not a whole
// decimal number, or does not fit in 32 bits (signed). Thread: user-interface thread.
std::int32_t ReadStoredInt(const QSettings& key, const char* name, std::int32_t fallback);
// The same, nothing where ReadStoredInt gives the fallback. name is UTF-8.
std::optional<std::int32_t> ReadStoredNumber(const QSettings& key, const char* name);
// The stored position of a level slider, 20 when it cannot be read.
std::int32_t ReadThreshold(const QSettings& key, const char* name);
// The stored strength in percent, 100 when it cannot be read.
std::int32_t ReadGain(const QSettings& key, const char* name);

// Stores one value (not looked at again until the key is synced). QSettings writes a backslash
// in a text value doubled, so no value it writes ends a line in a continuation.
void WriteStoredInt(QSettings& key, const char* name, std::int32_t value);
// Writes the store to disk; false when it could not be written (the old file stays intact).
bool SyncSettingsKey(QSettings& key);

// ReadMode of settings/settings_store.h on a QSettings. Thread: user-interface thread.
int ReadMode(const QSettings& key);
// A stored text value, or nothing when it is missing or empty. Thread: user-interface thread.
std::optional<std::string> ReadStoredText(const QSettings& key, const char* name);

}  // namespace kinetra::settings
