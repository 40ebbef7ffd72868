// kinetra-trace.exe: the command line of tools/trace/command.h on Windows: the table and the
// summary of a WAV file or a live input, the settings read from the registry. The picture is
// drawn with Qt, which the Windows build does without.
#include <io.h>

#include <cstdio>
#include <memory>
#include <utility>

#include "settings/registry_store.h"
#include "tools/trace/command.h"

int main(int argc, char** argv) {
    kinetra::trace::FrontEnd frontEnd;
    frontEnd.openSettings = []() -> std::unique_ptr<kinetra::settings::SettingsStore> {
        return std::make_unique<kinetra::settings::RegistryStore>();
    };
    frontEnd.progressBar = _isatty(_fileno(stderr)) != 0;
    kinetra::trace::Command command;
    const int exit = kinetra::trace::ParseCommandLine(argc, argv, frontEnd, &command);
    if (exit >= 0) return exit;
    return kinetra::trace::RunCommand(std::move(command), frontEnd);
}
