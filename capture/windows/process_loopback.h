// Hearing one application on Windows: the default output's audio sessions, and whether this
// system can record one process's sound (process loopback, Windows 10 version 2004 and later).
// Shared by the listing (applications.cpp) and the capture (process_loopback.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "capture/audio_applications.h"

namespace kinetra::capture {

// How long the system gets to answer a process loopback activation.
inline constexpr DWORD kActivationTimeoutMs = 3000;

// Appends the audio sessions of the default output (render endpoint) to sessions, in the
// system's order, as ApplicationOfSession makes them (application_sessions.h): the system sounds
// session, expired sessions and those of ended processes left out. False with the failing call in
// *error. COM must be initialised on the calling thread. Thread: any; allocates.
bool ListAudioSessions(std::vector<AudioApplicationInfo>* sessions, std::string* error);

// Empty when this system can record one process's sound, else why hearing one application cannot
// work here. Asks the system at most timeoutMs (an activation for this process); an answer is
// kept for the rest of the run, a missing one is not. Thread: any with COM initialised.
std::string ProcessLoopbackProblem(DWORD timeoutMs);

}  // namespace kinetra::capture
