// kinetra-trace's command line, the same on every system: one table of options, the help text,
// and the run from a parsed command to the table, the picture and the summary. Each system's
// main (tools/trace/main.cpp, win32/trace_main.cpp) gives what only it has: the picture (Qt, on
// Linux), the settings store and whether standard error is a terminal.
#pragma once

#include <memory>
#include <string>

#include "settings/settings_store.h"
#include "tools/trace/trace.h"

namespace kinetra::trace {

// What a system's main lends the tool.
struct FrontEnd {
    // Draws the picture; null where the tool draws none (the Windows build: no Qt there).
    bool (*writePicture)(const Trace& trace, const std::string& path, std::string* error) = nullptr;
    // Opens the window's saved settings, for --settings.
    std::unique_ptr<settings::SettingsStore> (*openSettings)() = nullptr;
    // Standard error is a terminal: a progress bar is drawn there.
    bool progressBar = false;
};

// A parsed command line.
struct Command {
    std::string file;         // the sound file, or empty for a live input
    std::string input;        // --input: a KINETRA_AUDIO_INPUT text
    double liveSeconds = -1;  // --seconds
    std::string csv, png;     // the outputs (defaults filled in by ParseCommandLine)
    bool fromSettings = false;
    bool quiet = false;
    Settings settings;  // the positions given; --settings is applied by RunCommand
    struct Move {
        int band = 0;
        int position = 0;
    };
    Move moves[16];  // --level1 .. --level5, in their order
    int moveCount = 0;
    bool levelsGiven = false;
    int levels[kBands] = {};
    bool modeGiven = false;
    bool picture = false;  // the front end draws one
    bool help = false;     // --help was met
};

// The help text of kinetra-trace --help: usage, the options of the table that this build has
// (the picture's only where front end draws one), the table's columns. Thread: any.
std::string HelpText(const FrontEnd& frontEnd);

// Reads the arguments. Returns -1 with *command ready to run, or the exit code the tool ends
// with: 0 after --help or --version (answered on standard output), 2 after a bad option (said on
// standard error). Thread: main thread.
int ParseCommandLine(int argc, char** argv, const FrontEnd& frontEnd, Command* command);

// Applies --settings and the slider moves, runs the file or the live input, writes the table,
// the picture (where the front end draws one) and the summary. Returns the exit code: 0, 1 when
// the sound cannot be traced or an output cannot be written, 2 for a slider move the window
// would not allow. Thread: main thread (see RunTrace).
int RunCommand(Command command, const FrontEnd& frontEnd);

}  // namespace kinetra::trace
