#include "capture/backends/ring_capture_buffer.h"

#include <cstring>
#include <new>

#include "platform/auto_reset_event.h"
#include "platform/cache_lines.h"

namespace kinetra::capture {

// Zeroed, on a cache line: blocks start at multiples of the block size, so the spectrum frame's
// 256-bit loads of a block never straddle a 32-byte boundary (~5-15 ns per block on Zen 4).
RingCaptureBuffer::RingCaptureBuffer(std::uint32_t bytes)
    : m_ring(static_cast<std::uint8_t*>(kinetra::AllocateCacheLines(bytes))), m_size(bytes) {}

Result RingCaptureBuffer::SetNotificationPositions(std::uint32_t count,
                                                   const PositionNotify* positions) {
    if (m_running.load()) return kFail;
    if (count > m_notify.size() || (count > 0 && positions == nullptr)) return kInvalidArg;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (positions[i].dwOffset >= m_size) return kInvalidArg;
    }
    // By offset (an insertion sort: at most 64 entries, nothing allocated, equal offsets keep
    // their order), so that a write walks forward from where the last one stopped.
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t j = i;
        while (j > 0 && m_notify[j - 1].dwOffset > positions[i].dwOffset) {
            m_notify[j] = m_notify[j - 1];
            --j;
        }
        m_notify[j] = positions[i];
    }
    m_notifyCount = count;
    const std::uint32_t position = m_writePosition.load(std::memory_order_relaxed);
    m_nextNotify = 0;
    while (m_nextNotify < count && m_notify[m_nextNotify].dwOffset < position) ++m_nextNotify;
    return kOk;
}

Result RingCaptureBuffer::GetCurrentPosition(std::uint32_t* capturePosition,
                                             std::uint32_t* readPosition) {
    const std::uint32_t position = m_writePosition.load(std::memory_order_acquire);
    if (capturePosition != nullptr) *capturePosition = position;
    if (readPosition != nullptr) *readPosition = position;
    return kOk;
}

Result RingCaptureBuffer::Lock(std::uint32_t offset, std::uint32_t bytes, void** region1,
                               std::uint32_t* bytes1, void** region2, std::uint32_t* bytes2) {
    if (region1 == nullptr || bytes1 == nullptr || offset >= m_size || bytes == 0 ||
        bytes > m_size) {
        return kInvalidArg;
    }
    const std::uint32_t first = bytes <= m_size - offset ? bytes : m_size - offset;
    *region1 = m_ring.get() + offset;
    *bytes1 = first;
    if (region2 != nullptr) *region2 = bytes > first ? m_ring.get() : nullptr;
    if (bytes2 != nullptr) *bytes2 = bytes - first;
    return kOk;
}

Result CheckLiveRequest(const WaveFormat& format, std::uint32_t bufferBytes) {
    const bool bitsOk = format.wBitsPerSample == 8 || format.wBitsPerSample == 16;
    const bool channelsOk = format.nChannels == 1 || format.nChannels == 2;
    if (format.wFormatTag != kWaveFormatPcm || !bitsOk || !channelsOk ||
        format.nSamplesPerSec == 0 ||
        format.nBlockAlign != format.wBitsPerSample / 8 * format.nChannels) {
        return kBadFormat;
    }
    if (bufferBytes == 0 || bufferBytes % format.nBlockAlign != 0) return kInvalidArg;
    return kOk;
}

std::uint32_t RingCaptureBuffer::Produce(const std::uint8_t* data, std::uint32_t bytes) {
    if (m_size == 0 || m_ring == nullptr) return 0;
    std::uint32_t through = 0;
    std::uint32_t done = 0;
    while (done < bytes) {
        const std::uint32_t from = m_writePosition.load(std::memory_order_relaxed);
        const std::uint32_t room = m_size - from;
        const std::uint32_t chunk = bytes - done < room ? bytes - done : room;
        std::memcpy(m_ring.get() + from, data + done, chunk);
        const std::uint32_t end = from + chunk;
        m_writePosition.store(end == m_size ? 0 : end, std::memory_order_release);
        // Offsets in [from, end): from the first at or after from, in order.
        std::uint32_t next = m_nextNotify;
        while (next < m_notifyCount && m_notify[next].dwOffset < end) {
            if (m_notify[next].hEventNotify != nullptr) m_notify[next].hEventNotify->Set();
            through = done + (m_notify[next].dwOffset - from) + 1;
            ++next;
        }
        m_nextNotify = end == m_size ? 0 : next;
        done += chunk;
    }
    return through;
}

}  // namespace kinetra::capture
