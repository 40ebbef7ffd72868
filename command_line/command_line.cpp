#include "command_line/command_line.h"

#include <cstring>

#ifndef KINETRA_VERSION
#error "KINETRA_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace kinetra::command_line {

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

}  // namespace kinetra::command_line
