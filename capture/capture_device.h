// The audio-input interface the capture engine talks to, shaped like a capture device with a
// looping ring buffer and notification positions. One backend per source file behind it, in
// capture/backends/, reached through the table there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/audio_input.h"

namespace kinetra {
class AutoResetEvent;
}

namespace kinetra::capture {

// Operation results: 0 for success, a negative code for failure (callers treat any non-zero
// value as failure and pass it on unchanged).
using Result = std::int32_t;
constexpr Result kOk = 0;
constexpr Result kFail = static_cast<Result>(0x80004005);         // unspecified failure
constexpr Result kInvalidArg = static_cast<Result>(0x80070057);   // bad argument or format
constexpr Result kNoDriver = static_cast<Result>(0x88780078);     // no such capture device
constexpr Result kOutOfMemory = static_cast<Result>(0x8007000E);  // allocation failed
constexpr Result kBadFormat = static_cast<Result>(0x88780064);    // format not supported

constexpr std::uint16_t kWaveFormatPcm = 1;

// PCM format description (the fields of a WAVEFORMATEX).
struct WaveFormat {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};

// A notification position: when the writer passes byte offset dwOffset of the ring, the event
// is set.
struct PositionNotify {
    std::uint32_t dwOffset = 0;
    AutoResetEvent* hEventNotify = nullptr;
};

// A looping ring buffer that the backend fills with captured frames.
class ICaptureBuffer {
public:
    virtual ~ICaptureBuffer() = default;

    // Installs notification positions (before Start). Thread: user-interface thread.
    virtual Result SetNotificationPositions(std::uint32_t count,
                                            const PositionNotify* positions) = 0;
    // Starts capturing into the ring, wrapping at its end. Thread: user-interface thread.
    virtual Result Start(bool looping) = 0;
    // Stops capturing; no notification is raised after it returns. Thread: user-interface thread.
    virtual Result Stop() = 0;
    // capturePosition: where the writer is; readPosition: up to where data may be read.
    // Thread: capture thread. Allocates nothing and never blocks.
    virtual Result GetCurrentPosition(std::uint32_t* capturePosition,
                                      std::uint32_t* readPosition) = 0;
    // Lends bytes of the ring from offset: a first region and, when the range wraps, a second.
    // Thread: capture thread. Allocates nothing and never blocks.
    virtual Result Lock(std::uint32_t offset, std::uint32_t bytes, void** region1,
                        std::uint32_t* bytes1, void** region2, std::uint32_t* bytes2) = 0;
    // Gives back what Lock lent. Thread: capture thread.
    virtual Result Unlock(void* region1, std::uint32_t bytes1, void* region2,
                          std::uint32_t bytes2) = 0;
};

// An opened audio input.
class ICaptureDevice {
public:
    virtual ~ICaptureDevice() = default;
    // Creates a ring of bufferBytes for the format; kBadFormat when the source cannot deliver
    // it. Thread: user-interface thread.
    virtual Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                                       std::unique_ptr<ICaptureBuffer>* buffer) = 0;
};

// One entry of the device enumeration.
struct CaptureDeviceInfo {
    std::string id;           // what OpenCaptureDevice takes; empty for the default device
    std::string description;  // for people
};

// The devices on offer: first the chosen input itself (empty id, described for people), then
// the devices the live backends list ("sdl:NAME" ids), unless a file or memory source is chosen.
// Thread: user-interface thread.
std::vector<CaptureDeviceInfo> EnumerateCaptureDevices(const AudioInputChoice& choice);
// Opens id: empty for choice itself, else id read as an input text (with choice's backend).
// Walks the backend table (capture/backends/backend_table.h) in order; a backend followed by
// another that serves the same choice fails quietly. Thread: user-interface thread.
Result OpenCaptureDevice(const std::string& id, const AudioInputChoice& choice,
                         std::unique_ptr<ICaptureDevice>* device);

// The same for the default choice (DefaultAudioInputChoice). A malformed default is reported
// (ReportAudioInputProblem) and fails the open with kInvalidArg. Thread: user-interface thread.
std::vector<CaptureDeviceInfo> EnumerateCaptureDevices();
Result OpenCaptureDevice(const std::string& id, std::unique_ptr<ICaptureDevice>* device);

}  // namespace kinetra::capture
