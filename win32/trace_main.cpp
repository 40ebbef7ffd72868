// kinetra-trace.exe: the analysis over a sound file, as a table (the Windows build writes the
// table and the summary; the picture needs Qt and is left out).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command_line/command_line.h"
#include "platform/parse_int.h"
#include "tools/trace/trace.h"

namespace {

const char kUsage[] =
    "usage: kinetra-trace SOUNDFILE [options]\n"
    "Runs Kinetra's analysis over a WAV file as fast as the machine allows and writes what each\n"
    "of the five bands did as a table. This Windows build writes no picture (--png): the\n"
    "picture is drawn with Qt, which the Windows build does without.\n"
    "\n"
    "  --csv PATH          table, one row per block (default: NAME.trace.csv here)\n"
    "  --levels A,B,C,D,E  positions of the five level sliders, 0..100 (0 = most responsive)\n"
    "  --strength P        Strength slider position, 0..100 (0 = full strength)\n"
    "  --mode MODE         response mode of the band mappers: classic (default) or hits\n"
    "  --quiet             no summary on standard output\n"
    "  --help              this text\n"
    "  --version           the version\n";

int BadOption(const std::string& message) {
    std::fprintf(stderr, "kinetra-trace: %s\n(kinetra-trace --help lists the options)\n",
                 message.c_str());
    return 2;
}

std::string BaseName(const std::string& path) {
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name.empty() ? std::string("trace") : name;
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
    kinetra::trace::Settings settings;
    std::string file, csv;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--csv" && hasValue) {
            csv = argv[++i];
        } else if (option == "--levels" && hasValue) {
            std::string list = argv[++i];
            for (int band = 0; band < kinetra::trace::kBands; ++band) {
                const std::size_t comma = list.find(',');
                if ((comma == std::string::npos) != (band == kinetra::trace::kBands - 1) ||
                    !kinetra::ParseInt32(list.substr(0, comma), 0, 100, &settings.level[band],
                                         nullptr)) {
                    return BadOption("--levels takes five positions 0..100, e.g. 20,20,20,20,20");
                }
                list = comma == std::string::npos ? "" : list.substr(comma + 1);
            }
        } else if (option == "--strength" && hasValue) {
            if (!kinetra::ParseInt32(argv[++i], 0, 100, &settings.strength, nullptr)) {
                return BadOption("--strength takes a position 0..100");
            }
        } else if (option == "--mode" && hasValue) {
            const std::string mode = argv[++i];
            if (mode != "classic" && mode != "hits") return BadOption("--mode: classic or hits");
            settings.mode = mode == "hits" ? MapperMode::kHits : MapperMode::kClassic;
        } else if (option == "--quiet") {
            quiet = true;
        } else if (option.rfind("--", 0) == 0) {
            return BadOption("unknown option " + option);
        } else if (file.empty()) {
            file = option;
        } else {
            return BadOption("only one sound file");
        }
    }
    if (file.empty()) return BadOption("no sound file given");
    if (csv.empty()) csv = BaseName(file) + ".trace.csv";
    kinetra::trace::Trace trace;
    std::string error;
    if (!kinetra::trace::RunTrace(file, settings, &trace, &error) ||
        !kinetra::trace::WriteCsv(trace, csv, &error)) {
        std::fprintf(stderr, "kinetra-trace: %s\n", error.c_str());
        return 1;
    }
    if (!quiet) std::fputs(kinetra::trace::Summary(trace).c_str(), stdout);
    return 0;
}
