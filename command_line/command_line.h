// What the programs do before Qt starts: `--help` and `--version`, and a private runtime folder
// where the session has none (ssh, cron), so that Qt has nothing to warn about.
#pragma once

#include <cstdio>
#include <string>

namespace kinetra::command_line {

// The version CMake's project carries, e.g. "0.2.0".
const char* ProgramVersion();

// The text `kinetra --help` prints: usage, options, environment variables, files.
// Thread: any.
std::string KinetraHelpText();

// Looks for `--help`/`-h` and `--version` among the arguments (anything else is left to Qt and
// the program). Writes the help or "NAME VERSION" to out and returns true with *exitCode 0 when
// one was asked for; returns false otherwise and leaves *exitCode alone. help may be null when
// the caller answers `--help` itself. Thread: main thread, before Qt starts.
bool AnswerInformationOptions(int argc, char** argv, const char* name, const std::string* help,
                              std::FILE* out, int* exitCode);

// When XDG_RUNTIME_DIR is unset, creates a folder of our own (mode 0700, under $TMPDIR or /tmp),
// points XDG_RUNTIME_DIR at it and removes it again at exit; returns its path, or an empty
// string when the variable was set already or no folder could be made (Qt then warns as
// before). For tools that reach no sound server: PulseAudio clients look for the server's socket
// there. Thread: main thread, before Qt starts and before other threads exist (it changes the
// environment).
std::string EnsureRuntimeDirectory();

}  // namespace kinetra::command_line
