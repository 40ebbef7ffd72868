// The stored slider positions: five level positions and the strength, kept per user with
// QSettings under "Ondrel Corporation" / "Kinetra Entertainment" (an INI file in the user's
// configuration folder on Linux), values "threshold1".."threshold5" and "gain".
#pragma once

#include <QSettings>
#include <cstdint>
#include <memory>
#include <vector>

namespace kinetra::app {

inline constexpr int kDefaultThreshold = 20;
inline constexpr int kDefaultGain = 100;

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
// The stored position of a level slider, 20 when it cannot be read.
std::int32_t ReadThreshold(const QSettings& key, const char* name);
// The stored strength in percent, 100 when it cannot be read.
std::int32_t ReadGain(const QSettings& key, const char* name);

// Stores one value (not looked at again until the key is synced). QSettings writes a backslash
// in a text value doubled, so no value it writes ends a line in a continuation.
void WriteStoredInt(QSettings& key, const char* name, std::int32_t value);
// Writes the store to disk; false when it could not be written (the old file stays intact).
bool SyncSettingsKey(QSettings& key);

// The stored "gain" is the strength in percent of full: 100 - the Strength slider's position
// (position 0, the top, is full strength). Out-of-range stored values give positions outside
// 0..100, which the slider limits. Thread: any.
int StrengthPositionForStoredGain(std::int32_t storedGain);
std::int32_t StoredGainForStrengthPosition(int position);

// Setting name of level slider band (1..5): "threshold1".."threshold5".
const char* ThresholdValueName(int band);
inline constexpr const char* kGainValueName = "gain";

// The band mappers' response mode, stored as "mode": 0 classic, 1 hits. ReadMode gives 0 when the
// value is missing or is neither. Thread: user-interface thread.
inline constexpr const char* kModeValueName = "mode";
inline constexpr int kClassicModeValue = 0;
inline constexpr int kHitsModeValue = 1;
int ReadMode(const QSettings& key);

}  // namespace kinetra::app
