// Diagnostic lines: the program's single channel for messages that are not meant for the user.
#pragma once

namespace kinetra {

// Writes one diagnostic line (text normally ending in "\n").
// By default the line goes to standard error, and only when the environment variable
// KINETRA_DEBUG is "1"; an installed sink receives every line instead.
// Thread: any. Never allocates and takes no lock, so the capture thread may call it.
void DebugOutput(const char* line);

// True when DebugOutput goes anywhere (a sink is installed, or KINETRA_DEBUG is "1"), so that
// callers can skip formatting lines nobody will read. Thread: any; allocates nothing.
bool DebugOutputEnabled();

// True when KINETRA_DEBUG is "1", that is when debug lines go to standard error unless a sink
// is installed (read once). Thread: any; allocates nothing.
bool DebugOutputRequestedByEnvironment();

// Receives each line passed to DebugOutput while installed.
using DebugSink = void (*)(void* context, const char* line);

// Installs a sink (null restores the default). Meant for tests and tools.
// Thread: any, but not while another thread may be writing through the old sink's context.
void SetDebugSink(DebugSink sink, void* context);

}  // namespace kinetra
