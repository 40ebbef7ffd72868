// The loopback capture's parts that its tests reach: the source of packets (the default output's
// WASAPI loopback, or a double) and the ring it fills, which follows the default output when the
// system says it changed.
#pragma once

#include <windows.h>
// After <windows.h>, which it needs.
#include <mmreg.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "capture/backends/ring_capture_buffer.h"
#include "capture/windows/wasapi_packets.h"

namespace kinetra::capture {

// Packets of one output's mix. Thread (all but construction): the ring's pump thread; Start and
// Stop also the user-interface thread while the pump does not run.
class LoopbackSource {
public:
    virtual ~LoopbackSource() = default;
    // Opens the default output as it is now (closing what was open) and gives its mix format,
    // 16-bit or 32-bit float samples, any channel count and rate.
    virtual Result Open(WAVEFORMATEXTENSIBLE* mix) = 0;
    virtual void Close() = 0;
    virtual Result Start() = 0;
    virtual void Stop() = 0;
    // The next captured packet (silent: its samples are to be taken as zero); false when none
    // is ready or the endpoint is gone.
    virtual bool NextPacket(const BYTE** data, UINT32* frames, bool* silent) = 0;
    virtual void ReleasePacket(UINT32 frames) = 0;
};

// The ring fed from an opened source by a thread of its own (10 ms polls), converted to 44100 Hz
// 16-bit mono (channels averaged, the rate resampled linearly).
class LoopbackCaptureBuffer final : public RingCaptureBuffer {
public:
    // source is open, with the mix format mix. Thread: user-interface thread.
    LoopbackCaptureBuffer(std::uint32_t bytes, std::unique_ptr<LoopbackSource> source,
                          const WAVEFORMATEXTENSIBLE& mix);
    ~LoopbackCaptureBuffer() override;

    Result Start(bool loop) override;
    Result Stop() override;

    // The default output changed: before its next packet the pump closes the source and opens it
    // on the new default, with its own mix format. An open that fails is tried again every half
    // second. Thread: any (a notification's); no wait, no allocation.
    void NoteDefaultOutputChanged() { m_reopen.store(true); }
    // How many times the source was opened again (successfully or not). Thread: any.
    int Reopens() const { return m_reopens.load(); }

private:
    void Reopen();
    void Pump();

    std::unique_ptr<LoopbackSource> m_source;
    WasapiPacketReader m_reader;
    bool m_open = true;
    int m_retryIn = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_reopen{false};
    std::atomic<int> m_reopens{0};
    std::thread m_thread;
};

}  // namespace kinetra::capture
