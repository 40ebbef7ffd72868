// What a WASAPI capture client delivers, in the engine's format: each packet's frames averaged
// to one channel (16-bit PCM or 32-bit float, any number of channels) and its rate resampled
// linearly to 44100 Hz, as 16-bit mono samples. Shared by every WASAPI capture (what this
// computer plays, one application).
#pragma once

#include <audioclient.h>
#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

namespace kinetra::capture {

class WasapiPacketReader {
public:
    // format: the stream's own format. Reserves the converted samples' room here, not in Drain.
    explicit WasapiPacketReader(const WAVEFORMATEX& format);

    // Takes the format of a stream opened again (an output that changed), starting afresh.
    // Thread: the one thread that feeds the ring.
    void Reset(const WAVEFORMATEX& format);

    // frames frames of data (silence when silent), converted; lent until the next call. What
    // does not fit the room reserved at construction (a second at the highest mix rates) is
    // dropped rather than allocated for. Thread: the one thread that feeds the ring.
    std::span<const std::int16_t> Convert(const BYTE* data, UINT32 frames, bool silent);

    // Reads every packet capture has ready and hands each one, converted, to
    // produce(const std::uint8_t* bytes, std::uint32_t count). Stops at the first failing call.
    // Thread: the one thread that feeds the ring.
    template <typename Produce>
    void Drain(IAudioCaptureClient* capture, Produce&& produce) {
        UINT32 packet = 0;
        while (SUCCEEDED(capture->GetNextPacketSize(&packet)) && packet > 0) {
            BYTE* data = nullptr;
            UINT32 frames = 0;
            DWORD flags = 0;
            if (FAILED(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) break;
            const auto out = Convert(data, frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0);
            capture->ReleaseBuffer(frames);
            if (!out.empty()) {
                produce(reinterpret_cast<const std::uint8_t*>(out.data()),
                        static_cast<std::uint32_t>(out.size() * 2));
            }
        }
    }

private:
    // One frame averaged to one value, -1..1.
    double Frame(const BYTE* frame) const;

    WAVEFORMATEX m_format;
    bool m_float = false;
    double m_step = 1.0;
    double m_phase = 0.0;
    double m_last = 0.0;
    std::vector<std::int16_t> m_out;
};

}  // namespace kinetra::capture
