// kinetra-trace SOUNDFILE [options] or --input CHOICE --seconds S [options]: what Kinetra would do
// with a sound, block by block.
#include <unistd.h>

#include <QGuiApplication>
#include <QSettings>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "command_line/command_line.h"
#include "force/device_choice.h"
#include "pipeline/slider_rules.h"
#include "platform/parse_int.h"
#include "settings/qsettings_store.h"
#include "tools/trace/trace.h"

// With a live input the sound-server client library keeps a few allocations of its own to the
// end; the leak checker of a sanitizer build is told so.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}

namespace {

using kinetra::trace::kBands;
using kinetra::trace::Settings;

const char kUsage[] =
    "usage: kinetra-trace SOUNDFILE [options]\n"
    "       kinetra-trace --input CHOICE --seconds S [options]\n"
    "Runs Kinetra's analysis over a WAV, FLAC or Ogg file as fast as the machine allows, or\n"
    "over a live input for S seconds, and writes what each of the five bands did.\n"
    "\n"
    "  --input CHOICE      record a live input instead of a file, as KINETRA_AUDIO_INPUT names\n"
    "                      it: monitor, default, pulse:NAME, sdl:NAME, app:NAME (one\n"
    "                      application, by its name), ... (KINETRA_AUDIO_BACKEND applies)\n"
    "  --seconds S         how long to record the live input\n"
    "  --csv PATH          table, one row per block (default: NAME.trace.csv here)\n"
    "  --png PATH          picture with one lane per band (default: NAME.trace.png here)\n"
    "  --settings          start from the saved settings of the window (default: a first run)\n"
    "  --levels A,B,C,D,E  positions of the five level sliders, 0..100 (0 = most responsive)\n"
    "  --level1 P          move level slider 1; while Locked, sliders 2 to 5 follow it\n"
    "  --level2 P .. --level5 P   move one of sliders 2 to 5 (needs --free)\n"
    "  --strength P        Strength slider position, 0..100 (0 = full strength)\n"
    "  --free              not Locked (Locked is how the window starts)\n"
    "  --mode MODE         response mode of the band mappers: classic (default) or hits\n"
    "  --disable LIST      bands switched off, e.g. 2,5\n"
    "  --product NAME      force-feedback device name; it picks band 1's frequency\n"
    "  --force-device VALUE  the force device, as KINETRA_FORCE_DEVICE (default: the virtual\n"
    "                      device named NAME); a rumble device adds low_motor, high_motor\n"
    "  --start SECONDS     trace from this time on (files)\n"
    "  --end SECONDS       trace up to this time (files)\n"
    "  --quiet             no summary on standard output\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "The table's columns (a disabled band's cells are empty):\n"
    "  time_s              time at the end of the block, in seconds (live: when it was taken)\n"
    "  bandN_highest       band N's loudest bin in this block (power spectrum units)\n"
    "  bandN_mean          band N's mean level in this block\n"
    "  bandN_peak_ratio    the sharpest rise over the running average (0 below 1)\n"
    "  bandN_scale         the band mapper's scale after this block\n"
    "  bandN_magnitude     magnitude sent to the force effect, 0..10000\n"
    "  bandN_period_ms     period sent, in milliseconds\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "kinetra-trace: %s\n", message.c_str());
    return 1;
}

int BadOption(const std::string& message) {
    std::fprintf(stderr, "kinetra-trace: %s\n(kinetra-trace --help lists the options)\n",
                 message.c_str());
    return 2;
}

// A whole number from 0 to 100.
bool ParsePosition(const char* text, int* value) {
    return kinetra::ParseInt32(text, 0, 100, value, nullptr);
}

bool ParseSeconds(const char* text, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= 0.0) || v > 1e7) return false;
    *value = v;
    return true;
}

int Clamp(int p) {
    return kinetra::pipeline::ClampSliderPosition(p);
}

std::string BaseName(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name.empty() ? std::string("trace") : name;
}

void ShowProgress(double done, void*) {
    const int width = 40;
    const int filled = static_cast<int>(done * width);
    char bar[width + 1];
    for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '.';
    bar[width] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, static_cast<int>(done * 100));
    if (done >= 1.0) std::fprintf(stderr, "\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    int informationExit = 0;
    if (kinetra::command_line::AnswerInformationOptions(argc, argv, "kinetra-trace", nullptr,
                                                        stdout, &informationExit)) {
        return informationExit;
    }
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    kinetra::command_line::EnsureRuntimeDirectory();
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    std::string file, csv, png, input;
    double liveSeconds = -1.0;
    bool fromSettings = false, quiet = false;
    Settings s;
    struct Move {
        int band = 0;
        int position = 0;
    };
    Move moves[16];
    int moveCount = 0;
    bool levelsGiven = false;
    bool modeGiven = false;
    int levels[kBands] = {};

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--csv") {
            if (!value(&v)) return BadOption("--csv needs a path");
            csv = v;
        } else if (arg == "--png") {
            if (!value(&v)) return BadOption("--png needs a path");
            png = v;
        } else if (arg == "--input") {
            if (!value(&v) || *v == '\0') return BadOption("--input needs an input, e.g. monitor");
            input = v;
        } else if (arg == "--seconds") {
            if (!value(&v) || !ParseSeconds(v, &liveSeconds) || liveSeconds <= 0.0) {
                return BadOption("--seconds needs a time in seconds");
            }
        } else if (arg == "--settings") {
            fromSettings = true;
        } else if (arg == "--mode") {
            if (!value(&v)) return BadOption("--mode needs classic or hits");
            if (std::strcmp(v, "classic") == 0) {
                s.mode = MapperMode::kClassic;
            } else if (std::strcmp(v, "hits") == 0) {
                s.mode = MapperMode::kHits;
            } else {
                return BadOption(std::string("--mode takes classic or hits, not ") + v);
            }
            modeGiven = true;
        } else if (arg == "--free") {
            s.locked = false;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--levels") {
            if (!value(&v)) return BadOption("--levels needs five positions");
            std::string list = v;
            int count = 0;
            std::size_t start = 0;
            while (count < kBands) {
                const std::size_t comma = list.find(',', start);
                const std::string item = list.substr(start, comma - start);
                if (!ParsePosition(item.c_str(), &levels[count])) break;
                ++count;
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
            if (count != kBands || list.find(',', start) != std::string::npos) {
                return BadOption(
                    "--levels needs five positions from 0 to 100, e.g. 20,20,20,20,20");
            }
            levelsGiven = true;
        } else if (arg.rfind("--level", 0) == 0 && arg.size() == 8 && arg[7] >= '1' &&
                   arg[7] <= '5') {
            int p = 0;
            if (!value(&v) || !ParsePosition(v, &p)) {
                return BadOption(arg + " needs a position from 0 to 100");
            }
            if (moveCount == 16) return BadOption("too many slider moves");
            moves[moveCount++] = Move{arg[7] - '0', p};
        } else if (arg == "--strength") {
            if (!value(&v) || !ParsePosition(v, &s.strength)) {
                return BadOption("--strength needs a position from 0 to 100");
            }
        } else if (arg == "--disable") {
            if (!value(&v)) return BadOption("--disable needs a list of bands, e.g. 2,5");
            for (const char* c = v; *c != '\0'; ++c) {
                if (*c >= '1' && *c <= '5') {
                    s.disabled[*c - '1'] = true;
                } else if (*c != ',') {
                    return BadOption("--disable takes band numbers 1 to 5, e.g. 2,5");
                }
            }
        } else if (arg == "--product") {
            if (!value(&v) || *v == '\0' || std::strchr(v, ',') != nullptr) {
                return BadOption("--product needs a device name (without commas)");
            }
            s.product = v;
        } else if (arg == "--force-device") {
            kinetra::force::ForceDeviceChoice choice;
            std::string why;
            if (!value(&v) || !kinetra::force::ParseForceDeviceChoice(v, &choice, &why) ||
                *v == '\0') {
                return BadOption("--force-device needs a device as in KINETRA_FORCE_DEVICE" +
                                 (why.empty() ? std::string() : ": " + why));
            }
            s.forceDevice = v;
        } else if (arg == "--start") {
            if (!value(&v) || !ParseSeconds(v, &s.startSeconds)) {
                return BadOption("--start needs a time in seconds");
            }
        } else if (arg == "--end") {
            if (!value(&v) || !ParseSeconds(v, &s.endSeconds)) {
                return BadOption("--end needs a time in seconds");
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return BadOption("unknown option " + arg);
        } else if (file.empty()) {
            file = arg;
        } else {
            return BadOption("only one sound file, please (" + arg + ")");
        }
    }
    const bool live = !input.empty();
    if (live && !file.empty()) return BadOption("a sound file or --input, not both");
    if (live != (liveSeconds > 0.0)) return BadOption("--input and --seconds go together");
    if (live && (s.startSeconds > 0.0 || s.endSeconds >= 0.0)) {
        return BadOption("--start and --end are for sound files; --seconds times a live input");
    }
    if (file.empty() && !live) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (s.endSeconds >= 0 && s.endSeconds <= s.startSeconds) {
        return BadOption("--end must come after --start");
    }

    // Starting positions: a first run's, the saved ones, or the given ones.
    if (fromSettings) {
        auto key = kinetra::settings::OpenSettingsKey();
        for (int b = 0; b < kBands; ++b) {
            s.level[b] = Clamp(kinetra::settings::ReadThreshold(
                *key, kinetra::settings::ThresholdValueName(b + 1)));
        }
        // As the window reads it: any stored 32-bit gain gives a position the slider limits.
        s.strength = Clamp(kinetra::settings::StrengthPositionForStoredGain(
            kinetra::settings::ReadGain(*key, kinetra::settings::kGainValueName)));
        if (!modeGiven) {
            s.mode = kinetra::settings::ReadMode(*key) == kinetra::settings::kHitsModeValue
                         ? MapperMode::kHits
                         : MapperMode::kClassic;
        }
    }
    if (levelsGiven) std::copy(levels, levels + kBands, s.level);
    // Slider moves, as the window makes them: while Locked, sliders 2 to 5 follow slider 1.
    for (int m = 0; m < moveCount; ++m) {
        const std::string problem =
            kinetra::trace::MoveLevelSlider(&s, moves[m].band, moves[m].position);
        if (!problem.empty()) return BadOption(problem);
    }

    const std::string base = live ? std::string("live") : BaseName(file);
    if (csv.empty()) csv = base + ".trace.csv";
    if (png.empty()) png = base + ".trace.png";

    kinetra::trace::Trace trace;
    std::string error;
    const bool showProgress = isatty(2) != 0;
    if (live) {
        if (!kinetra::trace::RunLiveTrace(input, liveSeconds, s, &trace, &error,
                                          showProgress ? &ShowProgress : nullptr, nullptr)) {
            return Fail("cannot record '" + input + "': " + error);
        }
    } else if (!kinetra::trace::RunTrace(file, s, &trace, &error,
                                         showProgress ? &ShowProgress : nullptr, nullptr)) {
        return Fail("cannot trace '" + file + "': " + error);
    }
    if (!kinetra::trace::WriteCsv(trace, csv, &error)) return Fail(error);
    if (!kinetra::trace::WritePlot(trace, png, &error)) return Fail(error);
    if (!quiet) {
        std::fputs(kinetra::trace::Summary(trace).c_str(), stdout);
        std::printf("table: %s\npicture: %s\n", csv.c_str(), png.c_str());
    }
    return 0;
}
