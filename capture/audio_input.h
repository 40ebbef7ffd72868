// Which audio input the capture engine opens: the choice structure, its parser (the strings
// KINETRA_AUDIO_INPUT and KINETRA_AUDIO_BACKEND take, see the README), and the default read from
// the environment when the program has set nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture/sound_file.h"

namespace kinetra::capture {

enum class AudioInputKind {
    kDefault,  // "" or "default": the system's default capture device
    kMonitor,  // "monitor": what the computer plays (the default output's monitor)
    kNamed,    // "sdl:NAME", "pulse:NAME" or any other text: the capture device called NAME
    kFile,     // "file:PATH", or a value with a '/' or ending in .wav, .flac, .ogg or .oga
    kMemory,   // "memory:NAME": the in-memory source registered as NAME (capture/memory_source.h)
    // "app:NAME" or "app:NAME|BINARY": what one application plays, found by its name, the binary
    // breaking ties (capture/audio_applications.h): on Linux one stream of PulseAudio or
    // PipeWire's pulse server; on Windows process loopback (Windows 10 version 2004 or later;
    // not under Wine)
    kApplication,
};

// Which live backend serves kDefault, kMonitor and kNamed.
enum class AudioBackendChoice {
    kAuto,   // "": PulseAudio when a server answers, else SDL
    kPulse,  // "pulse": PulseAudio only
    kSdl,    // "sdl": SDL only
};

struct AudioInputChoice {
    AudioInputKind kind = AudioInputKind::kDefault;
    std::string value;  // the device name, the file path, the memory source's or application's name
    bool sdlOnly = false;  // "sdl:..." names SDL's own devices; "pulse:..." the sound server's
    AudioBackendChoice backend = AudioBackendChoice::kAuto;
    std::string binary{};  // kApplication: the application's binary, when it was given
};

// The former name of the choice, for code that only reads an input text.
using AudioInput = AudioInputChoice;

// Parses an input text (a KINETRA_AUDIO_INPUT value or a device id) and a backend text (a
// KINETRA_AUDIO_BACKEND value: "", "pulse" or "sdl"). False with a message in *error (for the
// user, without a trailing newline) and *choice reset to the default when either is malformed: an
// unknown backend, "memory:" without a name, or "app:" without one. Thread: any; allocates.
bool ParseAudioInputChoice(std::string_view input, std::string_view backend,
                           AudioInputChoice* choice, std::string* error);

// Reads an input text alone (every text names some input; the backend stays kAuto).
// Thread: any; allocates.
AudioInputChoice ParseAudioInput(std::string_view text);

// The default choice: KINETRA_AUDIO_INPUT and KINETRA_AUDIO_BACKEND parsed (unset: the default
// device, either backend). The only place that reads the two variables. False with the reason in
// *error when a value is malformed. Thread: any.
bool DefaultAudioInputChoice(AudioInputChoice* choice, std::string* error);

// Whether KINETRA_AUDIO_INPUT names an input: set and not empty ("default" counts, and keeps the
// system's default capture device). Unset or empty: the program may use a stored or first-run
// choice. Thread: any.
bool AudioInputChosenByEnvironment();

// For people: "the default capture device", "sound file PATH", ... Thread: any; allocates.
std::string DescribeAudioInput(const AudioInputChoice& choice);

// Tells the user why an input cannot be used: a debug line, and the same text on standard
// error unless KINETRA_DEBUG already sends debug lines there. Thread: user-interface thread.
void ReportAudioInputProblem(const std::string& reason);
// The reasons reported since the last ClearAudioInputProblems, one per line, oldest first (the
// last 8 at most), for the window's error box. Thread: any (a short lock; allocates).
std::string RecentAudioInputProblems();
void ClearAudioInputProblems();
// The newest of those reasons ("" for none): why an input the window switched to did not open.
// Thread: any (a short lock; allocates).
std::string LastAudioInputProblem();

// How a sound-file input is fed: played aloud on the default output as it is fed, so that what is
// heard is what is felt (off unless set: tools that read files stay silent), and looped at its
// end (on unless set; off: silence after one pass). Taken by the next start of a file input.
// Thread: any.
void SetSoundFilePlayback(bool aloud, bool loop);

}  // namespace kinetra::capture
