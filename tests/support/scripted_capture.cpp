#include "support/scripted_capture.h"

#include <cstring>

#include "platform/auto_reset_event.h"

namespace kinetra::capture {

class ScriptedCaptureBuffer final : public ICaptureBuffer {
public:
    ScriptedCaptureBuffer(std::shared_ptr<ScriptedCapture> script, std::uint32_t bytes)
        : m_script(std::move(script)), m_ring(bytes, 0) {}

    ~ScriptedCaptureBuffer() override {
        std::lock_guard<std::mutex> lock(m_script->m_lock);
        if (m_script->m_current == this) m_script->m_current = nullptr;
        m_script->m_buffersReleased.fetch_add(1);
    }

    Result SetNotificationPositions(std::uint32_t count, const PositionNotify* positions) override {
        std::lock_guard<std::mutex> lock(m_script->m_lock);
        if (m_script->m_notifyResult != kOk) return m_script->m_notifyResult;
        if (positions == nullptr || count > m_notify.size() || m_started) return kInvalidArg;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (positions[i].dwOffset >= m_ring.size()) return kInvalidArg;
            m_notify[i] = positions[i];
        }
        m_notifyCount = count;
        return kOk;
    }

    Result Start(bool looping) override {
        std::lock_guard<std::mutex> lock(m_script->m_lock);
        m_script->m_starts.fetch_add(1);
        if (m_script->m_startResult != kOk) return m_script->m_startResult;
        m_started = true;
        m_looping = looping;
        return kOk;
    }

    Result Stop() override {
        std::lock_guard<std::mutex> lock(m_script->m_lock);
        m_script->m_stops.fetch_add(1);
        m_started = false;
        return kOk;
    }

    Result GetCurrentPosition(std::uint32_t* capturePosition,
                              std::uint32_t* readPosition) override {
        m_script->m_positionCalls.fetch_add(1);
        const Result result = m_script->m_positionResult.load();
        if (result != kOk) return result;
        const std::uint32_t position = m_script->m_readPosition.load();
        if (capturePosition != nullptr) *capturePosition = position;
        if (readPosition != nullptr) *readPosition = position;
        return kOk;
    }

    Result Lock(std::uint32_t offset, std::uint32_t bytes, void** region1, std::uint32_t* bytes1,
                void** region2, std::uint32_t* bytes2) override {
        m_script->m_locks.fetch_add(1);
        m_script->m_lastLockOffset.store(offset);
        m_script->m_lastLockBytes.store(bytes);
        const Result result = m_script->m_lockResult.load();
        if (result != kOk) return result;
        const auto size = static_cast<std::uint32_t>(m_ring.size());
        if (offset >= size || bytes > size || bytes == 0) return kInvalidArg;
        const std::uint32_t override = m_script->m_lockLengthOverride.load();
        if (override != 0 && override <= size - offset) {
            *region1 = m_ring.data() + offset;
            *bytes1 = override;
            *region2 = nullptr;
            *bytes2 = 0;
            return kOk;
        }
        const std::uint32_t first = bytes <= size - offset ? bytes : size - offset;
        *region1 = m_ring.data() + offset;
        *bytes1 = first;
        *region2 = bytes > first ? m_ring.data() : nullptr;
        *bytes2 = bytes - first;
        return kOk;
    }

    Result Unlock(void*, std::uint32_t, void*, std::uint32_t) override {
        m_script->m_unlocks.fetch_add(1);
        return kOk;
    }

    // Called with the script's lock held.
    std::uint32_t Size() const { return static_cast<std::uint32_t>(m_ring.size()); }
    void Write(std::uint32_t offset, const std::uint8_t* data, std::uint32_t bytes) {
        const std::uint32_t size = Size();
        offset %= size;
        while (bytes > 0) {
            const std::uint32_t chunk = bytes < size - offset ? bytes : size - offset;
            std::memcpy(m_ring.data() + offset, data, chunk);
            data += chunk;
            bytes -= chunk;
            offset = (offset + chunk) % size;
        }
    }
    bool Raise(std::uint32_t index) {
        if (index >= m_notifyCount || m_notify[index].hEventNotify == nullptr) return false;
        m_notify[index].hEventNotify->Set();
        return true;
    }
    // Raises every notification whose offset lies in [from, from + bytes) around the ring.
    void RaiseCrossed(std::uint32_t from, std::uint32_t bytes) {
        const std::uint32_t size = Size();
        for (std::uint32_t i = 0; i < m_notifyCount; ++i) {
            const std::uint32_t distance = (m_notify[i].dwOffset + size - from) % size;
            if (distance < bytes || bytes >= size) Raise(i);
        }
    }

    std::shared_ptr<ScriptedCapture> m_script;
    std::vector<std::uint8_t> m_ring;
    std::array<PositionNotify, 64> m_notify{};
    std::uint32_t m_notifyCount = 0;
    bool m_started = false;
    bool m_looping = false;
};

class ScriptedCaptureDevice final : public ICaptureDevice {
public:
    explicit ScriptedCaptureDevice(std::shared_ptr<ScriptedCapture> script)
        : m_script(std::move(script)) {
        m_script->m_devicesMade.fetch_add(1);
    }
    ~ScriptedCaptureDevice() override { m_script->m_devicesReleased.fetch_add(1); }

    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (buffer == nullptr) return kInvalidArg;
        {
            std::lock_guard<std::mutex> lock(m_script->m_lock);
            m_script->m_createdSizes.push_back(bufferBytes);
            m_script->m_lastFormat = format;
            if (m_script->m_createResult != kOk) return m_script->m_createResult;
            if (m_script->m_createFailBytes != 0 && m_script->m_createFailBytes == bufferBytes) {
                return kFail;
            }
        }
        if (format.wFormatTag != kWaveFormatPcm || format.nBlockAlign == 0 || bufferBytes == 0 ||
            bufferBytes % format.nBlockAlign != 0) {
            return kBadFormat;
        }
        auto created = std::make_unique<ScriptedCaptureBuffer>(m_script, bufferBytes);
        {
            std::lock_guard<std::mutex> lock(m_script->m_lock);
            m_script->m_current = created.get();
            m_script->m_buffersCreated.fetch_add(1);
        }
        *buffer = std::move(created);
        return kOk;
    }

private:
    std::shared_ptr<ScriptedCapture> m_script;
};

std::shared_ptr<ScriptedCapture> ScriptedCapture::Create() {
    return std::shared_ptr<ScriptedCapture>(new ScriptedCapture());
}

std::unique_ptr<ICaptureDevice> ScriptedCapture::MakeDevice() {
    return std::make_unique<ScriptedCaptureDevice>(shared_from_this());
}

Result ScriptedCapture::Open(const std::string& id, std::unique_ptr<ICaptureDevice>* device) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_lastOpenedId = id;
        if (m_openResult != kOk) return m_openResult;
    }
    *device = MakeDevice();
    return kOk;
}

bool ScriptedCapture::WriteBytes(std::uint32_t offset, const void* data, std::uint32_t bytes) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_current == nullptr) return false;
    m_current->Write(offset, static_cast<const std::uint8_t*>(data), bytes);
    return true;
}

bool ScriptedCapture::RaiseNotification(std::uint32_t index) {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_current != nullptr && m_current->Raise(index);
}

bool ScriptedCapture::Append(const std::int16_t* samples, std::uint32_t count) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_current == nullptr) return false;
    const std::uint32_t size = m_current->Size();
    const std::uint32_t bytes = count * 2;
    const std::uint32_t from = m_writePosition.load() % size;
    m_current->Write(from, reinterpret_cast<const std::uint8_t*>(samples), bytes);
    const std::uint32_t to = (from + bytes) % size;
    m_writePosition.store(to);
    m_readPosition.store(to);
    m_current->RaiseCrossed(from, bytes);
    return true;
}

std::string ScriptedCapture::LastOpenedId() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastOpenedId;
}

std::vector<std::uint32_t> ScriptedCapture::CreatedSizes() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_createdSizes;
}

WaveFormat ScriptedCapture::LastFormat() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastFormat;
}

bool ScriptedCapture::HasBuffer() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_current != nullptr;
}

std::uint32_t ScriptedCapture::CurrentRingBytes() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_current != nullptr ? m_current->Size() : 0;
}

bool ScriptedCapture::CurrentStarted() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_current != nullptr && m_current->m_started;
}

bool ScriptedCapture::CurrentLooping() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_current != nullptr && m_current->m_looping;
}

std::vector<PositionNotify> ScriptedCapture::Notifications() const {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_current == nullptr) return {};
    return std::vector<PositionNotify>(m_current->m_notify.begin(),
                                       m_current->m_notify.begin() + m_current->m_notifyCount);
}

}  // namespace kinetra::capture
