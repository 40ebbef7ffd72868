// The default output a sound-file input is played aloud on, in step with what is felt. Each
// system has its own (capture/linux/, capture/windows/).
#pragma once

#include <cstdint>
#include <memory>

namespace kinetra::capture {

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Queues 44100 Hz 16-bit mono samples behind those queued before; when the output has
    // fallen more than a quarter of a second behind, what it still holds is dropped first, so
    // that it stays in step. Thread: the file feeder's thread.
    virtual void Queue(const std::int16_t* samples, std::uint32_t frames) = 0;
};

// The default output, opened and started, or none when this machine has nowhere to play to or
// it does not open (the reason then goes to ReportAudioInputProblem). Thread: any.
std::unique_ptr<SoundOutput> OpenSoundOutput();

}  // namespace kinetra::capture
