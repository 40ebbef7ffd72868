// A capture source driven by a script, for tests and tools: the script sets the read position,
// fills ring bytes, raises notifications and makes single operations fail, so that every path
// of the block pump can be exercised exactly.
//
// One ScriptedCapture controls the devices it makes and the buffers they create; it outlives
// them (they share it). The script runs on a test thread; the capture thread calls only
// GetCurrentPosition, Lock and Unlock, which take no lock and allocate nothing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/capture_device.h"

namespace kinetra::capture {

class ScriptedCaptureBuffer;

class ScriptedCapture : public std::enable_shared_from_this<ScriptedCapture> {
public:
    static std::shared_ptr<ScriptedCapture> Create();

    // A device whose buffers this script drives. Thread: any.
    std::unique_ptr<ICaptureDevice> MakeDevice();
    // For CCaptureEngine::SetDeviceOpener: records id, then fails with the result set by
    // SetOpenResult or hands out MakeDevice(). Thread: any.
    Result Open(const std::string& id, std::unique_ptr<ICaptureDevice>* device);

    // --- faults (each stays until changed) ---
    void SetOpenResult(Result result) { m_openResult = result; }
    void SetCreateResult(Result result) { m_createResult = result; }
    // Makes only the creation of a buffer of this many bytes fail (0: none).
    void SetCreateFailsForBytes(std::uint32_t bytes) { m_createFailBytes = bytes; }
    void SetNotifyResult(Result result) { m_notifyResult = result; }
    void SetStartResult(Result result) { m_startResult = result; }
    void SetPositionResult(Result result) { m_positionResult.store(result); }
    void SetLockResult(Result result) { m_lockResult.store(result); }
    // Makes Lock lend this many bytes in its first region instead of what was asked (0: off).
    void SetLockLengthOverride(std::uint32_t bytes) { m_lockLengthOverride.store(bytes); }

    // --- the writer ---

    // Sets the read (and capture) position GetCurrentPosition reports. Thread: script.
    void SetReadPosition(std::uint32_t position) { m_readPosition.store(position); }
    // Copies bytes into the current ring at offset, wrapping at its end. False without a ring.
    bool WriteBytes(std::uint32_t offset, const void* data, std::uint32_t bytes);
    // Sets the event of notification entry index of the current ring. False without one.
    bool RaiseNotification(std::uint32_t index);
    // Like a running source: writes the samples at the write position, moves the read
    // position behind them and raises each notification whose offset was written.
    bool Append(const std::int16_t* samples, std::uint32_t count);
    std::uint32_t WritePosition() const { return m_writePosition.load(); }
    void SetWritePosition(std::uint32_t position) { m_writePosition.store(position); }

    // --- what happened ---
    std::string LastOpenedId() const;
    int DevicesMade() const { return m_devicesMade.load(); }
    int DevicesReleased() const { return m_devicesReleased.load(); }
    int BuffersCreated() const { return m_buffersCreated.load(); }
    int BuffersReleased() const { return m_buffersReleased.load(); }
    // Byte sizes asked of CreateCaptureBuffer, in order (trial buffers included).
    std::vector<std::uint32_t> CreatedSizes() const;
    WaveFormat LastFormat() const;
    bool HasBuffer() const;
    std::uint32_t CurrentRingBytes() const;
    bool CurrentStarted() const;
    bool CurrentLooping() const;
    int StartCount() const { return m_starts.load(); }
    int StopCount() const { return m_stops.load(); }
    std::vector<PositionNotify> Notifications() const;
    int PositionCalls() const { return m_positionCalls.load(); }
    int LockCount() const { return m_locks.load(); }
    int UnlockCount() const { return m_unlocks.load(); }
    std::uint32_t LastLockOffset() const { return m_lastLockOffset.load(); }
    std::uint32_t LastLockBytes() const { return m_lastLockBytes.load(); }

private:
    friend class ScriptedCaptureDevice;
    friend class ScriptedCaptureBuffer;
    ScriptedCapture() = default;

    mutable std::mutex m_lock;  // the script's bookkeeping; never taken by the capture thread
    ScriptedCaptureBuffer* m_current = nullptr;
    std::string m_lastOpenedId;
    std::vector<std::uint32_t> m_createdSizes;
    WaveFormat m_lastFormat{};

    Result m_openResult = kOk;
    Result m_createResult = kOk;
    std::uint32_t m_createFailBytes = 0;
    Result m_notifyResult = kOk;
    Result m_startResult = kOk;
    std::atomic<Result> m_positionResult{kOk};
    std::atomic<Result> m_lockResult{kOk};
    std::atomic<std::uint32_t> m_lockLengthOverride{0};
    std::atomic<std::uint32_t> m_readPosition{0};
    std::atomic<std::uint32_t> m_writePosition{0};

    std::atomic<int> m_devicesMade{0};
    std::atomic<int> m_devicesReleased{0};
    std::atomic<int> m_buffersCreated{0};
    std::atomic<int> m_buffersReleased{0};
    std::atomic<int> m_starts{0};
    std::atomic<int> m_stops{0};
    std::atomic<int> m_positionCalls{0};
    std::atomic<int> m_locks{0};
    std::atomic<int> m_unlocks{0};
    std::atomic<std::uint32_t> m_lastLockOffset{0};
    std::atomic<std::uint32_t> m_lastLockBytes{0};
};

}  // namespace kinetra::capture
