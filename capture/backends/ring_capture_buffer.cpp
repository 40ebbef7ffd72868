#include "capture/backends/ring_capture_buffer.h"

#include <cstring>
#include <new>

#include "platform/auto_reset_event.h"

namespace kinetra::capture {

RingCaptureBuffer::RingCaptureBuffer(std::uint32_t bytes)
    : m_ring(new (std::nothrow) std::uint8_t[bytes == 0 ? 1 : bytes]()), m_size(bytes) {}

Result RingCaptureBuffer::SetNotificationPositions(std::uint32_t count,
                                                   const PositionNotify* positions) {
    if (m_running.load()) return kFail;
    if (count > m_notify.size() || (count > 0 && positions == nullptr)) return kInvalidArg;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (positions[i].dwOffset >= m_size) return kInvalidArg;
    }
    for (std::uint32_t i = 0; i < count; ++i) m_notify[i] = positions[i];
    m_notifyCount = count;
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

Result RingCaptureBuffer::Unlock(void*, std::uint32_t, void*, std::uint32_t) {
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

void RingCaptureBuffer::Produce(const std::uint8_t* data, std::uint32_t bytes) {
    if (m_size == 0 || m_ring == nullptr) return;
    while (bytes > 0) {
        const std::uint32_t from = m_writePosition.load(std::memory_order_relaxed);
        const std::uint32_t room = m_size - from;
        const std::uint32_t chunk = bytes < room ? bytes : room;
        std::memcpy(m_ring.get() + from, data, chunk);
        const std::uint32_t to = from + chunk == m_size ? 0 : from + chunk;
        m_writePosition.store(to, std::memory_order_release);
        for (std::uint32_t i = 0; i < m_notifyCount; ++i) {
            const std::uint32_t offset = m_notify[i].dwOffset;
            if (offset >= from && offset < from + chunk && m_notify[i].hEventNotify != nullptr) {
                m_notify[i].hEventNotify->Set();
            }
        }
        data += chunk;
        bytes -= chunk;
    }
}

}  // namespace kinetra::capture
