// The ring every live backend captures into: a producer (an audio callback or a feeder thread)
// appends bytes and raises the notifications it passes; the capture thread reads positions and
// borrows regions. Neither side takes a lock or allocates.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "capture/capture_device.h"
#include "platform/cache_lines.h"

namespace kinetra::capture {

// Whether a live backend can capture format into a ring of bufferBytes: 8- or 16-bit PCM, mono
// or stereo, a block alignment that matches, and a ring of whole frames. kOk, kBadFormat or
// kInvalidArg. Thread: any.
Result CheckLiveRequest(const WaveFormat& format, std::uint32_t bufferBytes);

class RingCaptureBuffer : public ICaptureBuffer {
public:
    // A ring of bytes bytes, zeroed. Thread: user-interface thread.
    explicit RingCaptureBuffer(std::uint32_t bytes);
    ~RingCaptureBuffer() override = default;

    // False when the ring could not be allocated.
    bool IsValid() const { return m_ring != nullptr; }

    Result SetNotificationPositions(std::uint32_t count, const PositionNotify* positions) override;
    Result GetCurrentPosition(std::uint32_t* capturePosition, std::uint32_t* readPosition) override;
    Result Lock(std::uint32_t offset, std::uint32_t bytes, void** region1, std::uint32_t* bytes1,
                void** region2, std::uint32_t* bytes2) override;
    // Nothing to give back: the ring lends its own memory.
    Result Unlock(void*, std::uint32_t, void*, std::uint32_t) override { return kOk; }

    std::uint32_t Size() const { return m_size; }

protected:
    // Appends bytes at the write position, wrapping, and raises every notification whose offset
    // was written, in the order of the offsets. Returns how many of the bytes lead up to and
    // include the last notification raised (0 when none was). Thread: the producer only. No
    // lock, no allocation, no logging.
    std::uint32_t Produce(const std::uint8_t* data, std::uint32_t bytes);
    // The ring's first byte, to turn a region lent by Lock back into an offset. Thread: any.
    const std::uint8_t* RingStart() const { return m_ring.get(); }
    // True between Start and Stop: notifications may not change then.
    std::atomic<bool> m_running{false};

private:
    std::unique_ptr<std::uint8_t[], kinetra::CacheLinesDeleter> m_ring;
    std::uint32_t m_size;
    std::array<PositionNotify, 64> m_notify{};  // sorted by offset, equal offsets as given
    std::uint32_t m_notifyCount = 0;
    // Index in m_notify of the first notification at or after the write position (m_notifyCount
    // when none lies before the ring's end), so that a write looks only at what it passes.
    std::uint32_t m_nextNotify = 0;
    std::atomic<std::uint32_t> m_writePosition{0};
};

}  // namespace kinetra::capture
