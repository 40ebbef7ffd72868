// The in-memory audio input behind capture/memory_source.h: a ring like the live backends',
// written by the producer's Push instead of an audio callback, that remembers how far the reader
// has taken it so that Push can wait rather than overrun a block.
#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/backends/ring_capture_buffer.h"
#include "capture/capture_format.h"
#include "capture/memory_source.h"
#include "platform/auto_reset_event.h"
#include "platform/block_format.h"
#include "platform/short_lock.h"

namespace kinetra::capture {

class MemoryCaptureBuffer;

// What a source shares with the devices and rings opened on it.
struct MemorySourceState {
    // Guards capturing; held while Push writes (a copy, nothing that blocks), so a short lock.
    kinetra::ShortLock lock;
    MemoryCaptureBuffer* capturing = nullptr;  // the started ring, or null
    bool closed = false;                       // the MemorySource is gone
    AutoResetEvent progress;                   // set when the reader took bytes or the ring stopped
};

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_registryLock;
std::map<std::string, std::weak_ptr<MemorySourceState>, std::less<>> g_registry;

std::shared_ptr<MemorySourceState> FindSource(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_registryLock);
    const auto it = g_registry.find(name);
    return it != g_registry.end() ? it->second.lock() : nullptr;
}

// Milliseconds left until deadline, for AutoResetEvent::Wait (negative timeout: no deadline).
std::int32_t RemainingMs(std::int32_t timeoutMs, Clock::time_point deadline) {
    if (timeoutMs < 0) return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<std::int32_t>(std::min<long long>(left, 1000000));
}

}  // namespace

class MemoryCaptureBuffer final : public RingCaptureBuffer {
public:
    MemoryCaptureBuffer(std::uint32_t bytes, std::shared_ptr<MemorySourceState> state)
        : RingCaptureBuffer(bytes), m_state(std::move(state)) {}
    ~MemoryCaptureBuffer() override { Stop(); }

    Result Start(bool) override {
        std::lock_guard lock(m_state->lock);
        if (m_running.load()) return kOk;
        if (m_state->capturing != nullptr && m_state->capturing != this) return kFail;
        m_state->capturing = this;
        m_running.store(true);
        return kOk;
    }

    Result Stop() override {
        {
            std::lock_guard lock(m_state->lock);
            if (m_state->capturing == this) m_state->capturing = nullptr;
            m_running.store(false);
        }
        m_state->progress.Set();  // a waiting Push sees that the ring is gone
        return kOk;
    }

    Result Unlock(void* region1, std::uint32_t bytes1, void* region2,
                  std::uint32_t bytes2) override {
        if (region1 == nullptr || Size() == 0) {
            return RingCaptureBuffer::Unlock(region1, bytes1, region2, bytes2);
        }
        // The reader has taken up to the end of what it borrowed.
        // Lock lends at most the ring's length from an offset inside it, so the remainders below
        // are single subtractions.
        const auto* ring = static_cast<const std::uint8_t*>(region1);
        const std::uint32_t offset = static_cast<std::uint32_t>(ring - RingStart());
        const std::uint32_t end =
            AdvanceInRing(offset, bytes1 + (region2 != nullptr ? bytes2 : 0), Size());
        const std::uint64_t written = m_written.load(std::memory_order_acquire);
        const std::uint32_t ahead = OffsetOf(written) + Size() - end;
        const std::uint32_t unread = ahead >= Size() ? ahead - Size() : ahead;
        m_taken.store(written - unread, std::memory_order_release);
        m_state->progress.Set();
        return RingCaptureBuffer::Unlock(region1, bytes1, region2, bytes2);
    }

    // True when the reader has taken every notified block. Thread: the producer.
    bool Taken() const { return m_taken.load(std::memory_order_acquire) >= m_notifiedEnd; }

    // Writes bytes as the producer, noting where the last notification passed lies.
    // Thread: the producer, with the state's lock held.
    void Write(const std::uint8_t* data, std::uint32_t bytes) {
        const std::uint64_t from = m_written.load(std::memory_order_relaxed);
        // The count goes first, so that a reader's Unlock never sees bytes it was not told of.
        m_written.store(from + bytes, std::memory_order_release);
        const std::uint32_t through = Produce(data, bytes);
        if (through != 0) m_notifiedEnd = from + through;
    }

private:
    // Where in the ring the byte count lands: a mask for a ring of a power of two bytes (the
    // engine's), else a division.
    std::uint32_t OffsetOf(std::uint64_t count) const {
        return static_cast<std::uint32_t>(m_sizeIsPowerOfTwo ? count & (Size() - 1)
                                                             : count % Size());
    }

    std::shared_ptr<MemorySourceState> m_state;
    const bool m_sizeIsPowerOfTwo = Size() != 0 && (Size() & (Size() - 1)) == 0;
    std::atomic<std::uint64_t> m_written{0};  // bytes ever written
    std::atomic<std::uint64_t> m_taken{0};    // bytes the reader has taken (or passed over)
    std::uint64_t m_notifiedEnd = 0;          // just after the last notification written past
};

namespace {

class MemoryCaptureDevice final : public ICaptureDevice {
public:
    explicit MemoryCaptureDevice(std::shared_ptr<MemorySourceState> state)
        : m_state(std::move(state)) {}

    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (buffer == nullptr) return kInvalidArg;
        if (format.wFormatTag != kWaveFormatPcm || format.nSamplesPerSec != kSampleRate ||
            format.wBitsPerSample != 16 || format.nChannels != 1 || format.nBlockAlign != 2) {
            return kBadFormat;  // the source holds 44100 Hz 16-bit mono samples only
        }
        if (bufferBytes == 0 || bufferBytes % 2 != 0) return kInvalidArg;
        auto created = std::make_unique<MemoryCaptureBuffer>(bufferBytes, m_state);
        if (!created->IsValid()) return kOutOfMemory;
        *buffer = std::move(created);
        return kOk;
    }

private:
    std::shared_ptr<MemorySourceState> m_state;
};

bool ServesMemory(const AudioInputChoice& choice) {
    return choice.kind == AudioInputKind::kMemory;
}

Result OpenMemory(const AudioInputChoice& choice, bool quiet,
                  std::unique_ptr<ICaptureDevice>* device) {
    std::shared_ptr<MemorySourceState> state = FindSource(choice.value);
    if (state == nullptr) {
        if (!quiet) ReportAudioInputProblem("no memory source called \"" + choice.value + "\"");
        return kNoDriver;
    }
    *device = std::make_unique<MemoryCaptureDevice>(std::move(state));
    return kOk;
}

}  // namespace

extern const CaptureBackend kMemoryCaptureBackend{"memory", ServesMemory, OpenMemory, nullptr};

// ---- MemorySource ----

MemorySource::MemorySource(std::string name, std::shared_ptr<MemorySourceState> state)
    : m_name(std::move(name)), m_state(std::move(state)) {}

std::unique_ptr<MemorySource> MemorySource::Create(const std::string& name, std::string* error) {
    if (name.empty()) {
        *error = "a memory source needs a name";
        return nullptr;
    }
    auto state = std::make_shared<MemorySourceState>();
    std::lock_guard<std::mutex> lock(g_registryLock);
    std::weak_ptr<MemorySourceState>& slot = g_registry[name];
    if (!slot.expired()) {
        *error = "a memory source called \"" + name + "\" exists already";
        return nullptr;
    }
    slot = state;
    return std::unique_ptr<MemorySource>(new MemorySource(name, std::move(state)));
}

MemorySource::~MemorySource() {
    {
        std::lock_guard<std::mutex> lock(g_registryLock);
        const auto it = g_registry.find(m_name);
        if (it != g_registry.end() && it->second.lock() == m_state) g_registry.erase(it);
    }
    {
        std::lock_guard lock(m_state->lock);
        m_state->closed = true;
    }
    m_state->progress.Set();
}

AudioInputChoice MemorySource::Choice() const {
    AudioInputChoice choice;
    choice.kind = AudioInputKind::kMemory;
    choice.value = m_name;
    return choice;
}

bool MemorySource::IsCapturing() const {
    std::lock_guard lock(m_state->lock);
    return m_state->capturing != nullptr;
}

Result MemorySource::Push(const std::int16_t* samples, std::uint32_t count,
                          std::int32_t timeoutMs) {
    if (samples == nullptr || count == 0) return kInvalidArg;
    // The clock is read only when the first look finds the reader behind: a producer that keeps
    // pace pays no clock read per block.
    Clock::time_point deadline{};
    bool waited = false;
    for (;;) {
        {
            std::lock_guard lock(m_state->lock);
            MemoryCaptureBuffer* ring = m_state->capturing;
            if (ring == nullptr || m_state->closed) return kFail;
            if (static_cast<std::uint64_t>(count) * 2 > ring->Size()) return kInvalidArg;
            if (ring->Taken()) {
                ring->Write(reinterpret_cast<const std::uint8_t*>(samples), count * 2);
                return kOk;
            }
        }
        if (!waited) {
            deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            waited = true;
        }
        const std::int32_t left = RemainingMs(timeoutMs, deadline);
        if (left == 0) return kFail;
        if (m_state->progress.Wait(left) == AutoResetEvent::WaitResult::kFailed) return kFail;
    }
}

bool MemorySource::WaitUntilTaken(std::int32_t timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard lock(m_state->lock);
            MemoryCaptureBuffer* ring = m_state->capturing;
            if (ring == nullptr || m_state->closed || ring->Taken()) return true;
        }
        const std::int32_t left = RemainingMs(timeoutMs, deadline);
        if (left == 0) return false;
        if (m_state->progress.Wait(left) == AutoResetEvent::WaitResult::kFailed) return false;
    }
}

}  // namespace kinetra::capture
