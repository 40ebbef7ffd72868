#include "app/command_line.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef KINETRA_VERSION
#error "KINETRA_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace kinetra::app {

namespace {

// The folder EnsureRuntimeDirectory made, removed with whatever libraries put there at exit.
std::string& OwnRuntimeDirectory() {
    static std::string path;
    return path;
}

void RemoveOwnRuntimeDirectory() {
    if (OwnRuntimeDirectory().empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(OwnRuntimeDirectory(), ignored);
}

}  // namespace

const char* ProgramVersion() {
    return KINETRA_VERSION;
}

std::string KinetraHelpText() {
    return "usage: kinetra [options]\n"
           "Ondrel Kinetra Entertainment: feel the sound your computer hears on a\n"
           "force-feedback device. Opens one window; its close box ends the program.\n"
           "\n"
           "  -h, --help     this text\n"
           "  --version      the version\n"
           "  Qt's own options (-platform NAME, ...) are accepted as well.\n"
           "\n"
           "Environment:\n"
           "  KINETRA_AUDIO_INPUT   default, monitor (what the computer plays), a capture\n"
           "                        device's name, pulse:NAME, sdl:NAME, or a WAV, FLAC or\n"
           "                        Ogg file; over the Input chosen in the window\n"
           "  KINETRA_AUDIO_BACKEND pulse or sdl (default: PulseAudio where a server answers)\n"
           "  KINETRA_FORCE_DEVICE  sdl, sdl:INDEX, sdl:NAME, virtual[:NAME][,OPTION...], none;\n"
           "                        over the Force device chosen in the window\n"
           "  KINETRA_DEBUG         1 writes diagnostic lines to standard error\n"
           "  KINETRA_DATA_DIR      a folder searched first for test.wav and help/\n"
           "  KINETRA_QUIT_AFTER_MS closes the window after that many milliseconds\n"
           "  KINETRA_SCREENSHOT    a PNG path for a picture of the window\n"
           "\n"
           "Settings: ~/.config/Ondrel Corporation/Kinetra Entertainment.conf\n"
           "Help: the Help button, or share/kinetra/help/index.html; man kinetra\n"
           "Exit status: 0 when the window was closed, 1 when start-up failed.\n";
}

bool AnswerInformationOptions(int argc, char** argv, const char* name, const std::string* help,
                              std::FILE* out, int* exitCode) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) break;
        if (std::strcmp(arg, "--version") == 0) {
            std::fprintf(out, "%s %s\n", name, ProgramVersion());
            *exitCode = 0;
            return true;
        }
        if (help != nullptr && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            std::fputs(help->c_str(), out);
            *exitCode = 0;
            return true;
        }
    }
    return false;
}

std::string EnsureRuntimeDirectory() {
    const char* current = std::getenv("XDG_RUNTIME_DIR");
    if (current != nullptr && current[0] != '\0') return {};
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    pattern += "/kinetra-runtime-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return {};  // mkdtemp makes it with mode 0700
    if (::setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1) != 0) {
        ::rmdir(pattern.c_str());
        return {};
    }
    const bool first = OwnRuntimeDirectory().empty();
    RemoveOwnRuntimeDirectory();
    OwnRuntimeDirectory() = pattern;
    if (first) std::atexit(RemoveOwnRuntimeDirectory);
    return pattern;
}

}  // namespace kinetra::app
