#include "tools/trace/command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command_line/command_line.h"
#include "force/device_choice.h"
#include "pipeline/slider_rules.h"
#include "platform/parse_int.h"

namespace kinetra::trace {
namespace {

#ifdef _WIN32
const char kAbout[] =
    "Runs Kinetra's analysis over a WAV file as fast as the machine allows, or over a live input\n"
    "for S seconds, and writes what each of the five bands did as a table. This Windows build\n"
    "writes no picture (--png): the picture is drawn with Qt, which the Windows build does\n"
    "without.\n";
const char kInputHelp[] =
    "  --input CHOICE      record a live input instead of a file, as KINETRA_AUDIO_INPUT names\n"
    "                      it: monitor (what this computer plays, WASAPI loopback), default, a\n"
    "                      capture device by its name, app:NAME (one application, by its name;\n"
    "                      Windows 10 version 2004 or later, not under Wine)\n";
constexpr const char* kPathSeparators = "/\\";
#else
const char kAbout[] =
    "Runs Kinetra's analysis over a WAV, FLAC or Ogg file as fast as the machine allows, or\n"
    "over a live input for S seconds, and writes what each of the five bands did.\n";
const char kInputHelp[] =
    "  --input CHOICE      record a live input instead of a file, as KINETRA_AUDIO_INPUT names\n"
    "                      it: monitor, default, pulse:NAME, sdl:NAME, app:NAME (one\n"
    "                      application, by its name), ... (KINETRA_AUDIO_BACKEND applies)\n";
constexpr const char* kPathSeparators = "/";
#endif

const char kColumns[] =
    "\n"
    "The table's columns (a disabled band's cells are empty):\n"
    "  time_s              time at the end of the block, in seconds (live: when it was taken)\n"
    "  bandN_highest       band N's loudest bin in this block (power spectrum units)\n"
    "  bandN_mean          band N's mean level in this block\n"
    "  bandN_peak_ratio    the sharpest rise over the running average (0 below 1)\n"
    "  bandN_scale         the band mapper's scale after this block\n"
    "  bandN_magnitude     magnitude sent to the force effect, 0..10000\n"
    "  bandN_period_ms     period sent, in milliseconds\n";

// A whole number from 0 to 100.
bool ParsePosition(const char* text, int* value) {
    return ParseInt32(text, 0, 100, value, nullptr);
}

bool ParseSeconds(const char* text, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= 0.0) || v > 1e7) return false;
    *value = v;
    return true;
}

// Takes one option: value is its value (null for a switch). False when the value does not fit:
// with *complaint set, that is said; else "NAME needs ..." as for a missing value.
using Take = bool (*)(Command* c, const std::string& name, const char* value,
                      std::string* complaint);

struct Option {
    const char* name;
    const char* help;      // its lines of the help text ("": said in another row's)
    const char* needs;     // takes a value: what "NAME needs" it; null: a switch
    Take take;             // null: answered before the table is read (--version)
    bool picture = false;  // offered only where a picture is drawn
};

// --level1 .. --level5: a slider move, made once every option is read.
bool TakeLevel(Command* c, const std::string& name, const char* value, std::string* complaint) {
    int p = 0;
    if (!ParsePosition(value, &p)) return false;
    if (c->moveCount == 16) {
        *complaint = "too many slider moves";
        return false;
    }
    c->moves[c->moveCount++] = Command::Move{name[7] - '0', p};
    return true;
}

const Option kOptions[] = {
    {"--input", kInputHelp, "an input, e.g. monitor",
     [](Command* c, const std::string&, const char* v, std::string*) {
         c->input = v;
         return *v != '\0';
     }},
    {"--seconds", "  --seconds S         how long to record the live input\n", "a time in seconds",
     [](Command* c, const std::string&, const char* v, std::string*) {
         return ParseSeconds(v, &c->liveSeconds) && c->liveSeconds > 0.0;
     }},
    {"--csv", "  --csv PATH          table, one row per block (default: NAME.trace.csv here)\n",
     "a path",
     [](Command* c, const std::string&, const char* v, std::string*) {
         c->csv = v;
         return true;
     }},
    {"--png",
     "  --png PATH          picture with one lane per band (default: NAME.trace.png here)\n",
     "a path",
     [](Command* c, const std::string&, const char* v, std::string*) {
         c->png = v;
         return true;
     },
     true},
    {"--settings",
     "  --settings          start from the saved settings of the window (default: a first run)\n",
     nullptr,
     [](Command* c, const std::string&, const char*, std::string*) {
         c->fromSettings = true;
         return true;
     }},
    {"--levels",
     "  --levels A,B,C,D,E  positions of the five level sliders, 0..100 (0 = most responsive)\n",
     "five positions",
     [](Command* c, const std::string&, const char* v, std::string* complaint) {
         const std::string list = v;
         int count = 0;
         std::size_t start = 0;
         while (count < kBands) {
             const std::size_t comma = list.find(',', start);
             const std::string item = list.substr(start, comma - start);
             if (!ParsePosition(item.c_str(), &c->levels[count])) break;
             ++count;
             if (comma == std::string::npos) break;
             start = comma + 1;
         }
         if (count != kBands || list.find(',', start) != std::string::npos) {
             *complaint = "--levels needs five positions from 0 to 100, e.g. 20,20,20,20,20";
             return false;
         }
         c->levelsGiven = true;
         return true;
     }},
    {"--level1",
     "  --level1 P          move level slider 1; while Locked, sliders 2 to 5 follow it\n",
     "a position from 0 to 100", TakeLevel},
    {"--level2", "  --level2 P .. --level5 P   move one of sliders 2 to 5 (needs --free)\n",
     "a position from 0 to 100", TakeLevel},
    {"--level3", "", "a position from 0 to 100", TakeLevel},
    {"--level4", "", "a position from 0 to 100", TakeLevel},
    {"--level5", "", "a position from 0 to 100", TakeLevel},
    {"--strength", "  --strength P        Strength slider position, 0..100 (0 = full strength)\n",
     "a position from 0 to 100",
     [](Command* c, const std::string&, const char* v, std::string*) {
         return ParsePosition(v, &c->settings.strength);
     }},
    {"--free", "  --free              not Locked (Locked is how the window starts)\n", nullptr,
     [](Command* c, const std::string&, const char*, std::string*) {
         c->settings.locked = false;
         return true;
     }},
    {"--mode",
     "  --mode MODE         response mode of the band mappers: classic (default) or hits\n",
     "classic or hits",
     [](Command* c, const std::string&, const char* v, std::string* complaint) {
         if (std::strcmp(v, "classic") == 0) {
             c->settings.mode = MapperMode::kClassic;
         } else if (std::strcmp(v, "hits") == 0) {
             c->settings.mode = MapperMode::kHits;
         } else {
             *complaint = std::string("--mode takes classic or hits, not ") + v;
             return false;
         }
         c->modeGiven = true;
         return true;
     }},
    {"--disable", "  --disable LIST      bands switched off, e.g. 2,5\n",
     "a list of bands, e.g. 2,5",
     [](Command* c, const std::string&, const char* v, std::string* complaint) {
         for (const char* ch = v; *ch != '\0'; ++ch) {
             if (*ch >= '1' && *ch <= '5') {
                 c->settings.disabled[*ch - '1'] = true;
             } else if (*ch != ',') {
                 *complaint = "--disable takes band numbers 1 to 5, e.g. 2,5";
                 return false;
             }
         }
         return true;
     }},
    {"--product", "  --product NAME      force-feedback device name; it picks band 1's frequency\n",
     "a device name (without commas)",
     [](Command* c, const std::string&, const char* v, std::string*) {
         if (*v == '\0' || std::strchr(v, ',') != nullptr) return false;
         c->settings.product = v;
         return true;
     }},
    {"--force-device",
     "  --force-device VALUE  the force device, as KINETRA_FORCE_DEVICE (default: the virtual\n"
     "                      device named NAME); a rumble device adds low_motor, high_motor\n",
     "a device as in KINETRA_FORCE_DEVICE",
     [](Command* c, const std::string&, const char* v, std::string* complaint) {
         force::ForceDeviceChoice choice;
         std::string why;
         if (!force::ParseForceDeviceChoice(v, &choice, &why) || *v == '\0') {
             if (!why.empty()) {
                 *complaint = "--force-device needs a device as in KINETRA_FORCE_DEVICE: " + why;
             }
             return false;
         }
         c->settings.forceDevice = v;
         return true;
     }},
    {"--start", "  --start SECONDS     trace from this time on (files)\n", "a time in seconds",
     [](Command* c, const std::string&, const char* v, std::string*) {
         return ParseSeconds(v, &c->settings.startSeconds);
     }},
    {"--end", "  --end SECONDS       trace up to this time (files)\n", "a time in seconds",
     [](Command* c, const std::string&, const char* v, std::string*) {
         return ParseSeconds(v, &c->settings.endSeconds);
     }},
    {"--quiet", "  --quiet             no summary on standard output\n", nullptr,
     [](Command* c, const std::string&, const char*, std::string*) {
         c->quiet = true;
         return true;
     }},
    {"--help", "  --help              this text\n", nullptr,
     [](Command* c, const std::string&, const char*, std::string*) {
         c->help = true;
         return true;
     }},
    {"-h", "", nullptr,
     [](Command* c, const std::string&, const char*, std::string*) {
         c->help = true;
         return true;
     }},
    {"--version", "  --version           the version\n", nullptr, nullptr},
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "kinetra-trace: %s\n", message.c_str());
    return 1;
}

int BadOption(const std::string& message) {
    std::fprintf(stderr, "kinetra-trace: %s\n(kinetra-trace --help lists the options)\n",
                 message.c_str());
    return 2;
}

std::string BaseName(const std::string& path) {
    std::string name = path.substr(path.find_last_of(kPathSeparators) + 1);
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

std::string HelpText(const FrontEnd& frontEnd) {
    std::string text =
        "usage: kinetra-trace SOUNDFILE [options]\n"
        "       kinetra-trace --input CHOICE --seconds S [options]\n";
    text += kAbout;
    text += '\n';
    for (const Option& option : kOptions) {
        if (!option.picture || frontEnd.writePicture != nullptr) text += option.help;
    }
    return text + kColumns;
}

int ParseCommandLine(int argc, char** argv, const FrontEnd& frontEnd, Command* c) {
    *c = Command{};
    c->picture = frontEnd.writePicture != nullptr;
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(HelpText(frontEnd).c_str(), stdout);
        return 0;
    }
    int informationExit = 0;
    if (command_line::AnswerInformationOptions(argc, argv, "kinetra-trace", nullptr, stdout,
                                               &informationExit)) {
        return informationExit;
    }

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const Option* option = nullptr;
        for (const Option& row : kOptions) {
            if (row.take != nullptr && arg == row.name) option = &row;
        }
        if (option == nullptr) {
            if (!arg.empty() && arg[0] == '-') return BadOption("unknown option " + arg);
            if (!c->file.empty()) return BadOption("only one sound file, please (" + arg + ")");
            c->file = arg;
            continue;
        }
        if (option->picture && !c->picture) {
            return BadOption(arg + ": this build draws no picture");
        }
        const char* value = nullptr;
        std::string complaint;
        const bool missing = option->needs != nullptr && i + 1 >= argc;
        if (option->needs != nullptr && !missing) value = argv[++i];
        if (missing || !option->take(c, arg, value, &complaint)) {
            return BadOption(complaint.empty() ? arg + " needs " + option->needs : complaint);
        }
        if (c->help) {
            std::fputs(HelpText(frontEnd).c_str(), stdout);
            return 0;
        }
    }
    const bool live = !c->input.empty();
    if (live && !c->file.empty()) return BadOption("a sound file or --input, not both");
    if (live != (c->liveSeconds > 0.0)) return BadOption("--input and --seconds go together");
    if (live && (c->settings.startSeconds > 0.0 || c->settings.endSeconds >= 0.0)) {
        return BadOption("--start and --end are for sound files; --seconds times a live input");
    }
    if (c->file.empty() && !live) {
        std::fputs(HelpText(frontEnd).c_str(), stderr);
        return 2;
    }
    if (c->settings.endSeconds >= 0 && c->settings.endSeconds <= c->settings.startSeconds) {
        return BadOption("--end must come after --start");
    }
    const std::string base = live ? std::string("live") : BaseName(c->file);
    if (c->csv.empty()) c->csv = base + ".trace.csv";
    if (c->png.empty() && c->picture) c->png = base + ".trace.png";
    return -1;
}

int RunCommand(Command c, const FrontEnd& frontEnd) {
    Settings& s = c.settings;
    // Starting positions: a first run's, the saved ones, or the given ones.
    if (c.fromSettings && frontEnd.openSettings != nullptr) {
        const std::unique_ptr<settings::SettingsKey> key = frontEnd.openSettings()->Open();
        for (int b = 0; b < kBands; ++b) {
            s.level[b] = pipeline::ClampSliderPosition(
                settings::ReadThreshold(*key, settings::ThresholdValueName(b + 1)));
        }
        // As the window reads it: any stored 32-bit gain gives a position the slider limits.
        s.strength = pipeline::ClampSliderPosition(settings::StrengthPositionForStoredGain(
            settings::ReadGain(*key, settings::kGainValueName)));
        if (!c.modeGiven) {
            s.mode = settings::ReadMode(*key) == settings::kHitsModeValue ? MapperMode::kHits
                                                                          : MapperMode::kClassic;
        }
    }
    if (c.levelsGiven) std::copy(c.levels, c.levels + kBands, s.level);
    // Slider moves, as the window makes them: while Locked, sliders 2 to 5 follow slider 1.
    for (int m = 0; m < c.moveCount; ++m) {
        const std::string problem = MoveLevelSlider(&s, c.moves[m].band, c.moves[m].position);
        if (!problem.empty()) return BadOption(problem);
    }

    Trace trace;
    std::string error;
    const Progress progress = frontEnd.progressBar ? &ShowProgress : nullptr;
    if (!c.input.empty()) {
        if (!RunLiveTrace(c.input, c.liveSeconds, s, &trace, &error, progress, nullptr)) {
            return Fail("cannot record '" + c.input + "': " + error);
        }
    } else if (!RunTrace(c.file, s, &trace, &error, progress, nullptr)) {
        return Fail("cannot trace '" + c.file + "': " + error);
    }
    if (!WriteCsv(trace, c.csv, &error)) return Fail(error);
    if (c.picture && !frontEnd.writePicture(trace, c.png, &error)) return Fail(error);
    if (!c.quiet) {
        std::fputs(Summary(trace).c_str(), stdout);
        std::printf("table: %s\n", c.csv.c_str());
        if (c.picture) std::printf("picture: %s\n", c.png.c_str());
    }
    return 0;
}

}  // namespace kinetra::trace
