// The capture engine: opens the audio input, keeps a ring of 16 blocks of 1024 frames with a
// notification at the end of each block, and runs the capture thread whose block pump turns the
// newest block into a spectrum, folds it into the running average and hands both to the
// registered listeners.
//
// Owner's calling order: Init; AddListener per listener; OpenCaptureBuffer(13); StartThread.
// At the end: StopThread; RemoveListener per listener; Shutdown. The listener list and the
// running average change only while no capture thread runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/spectrum_frame.h"
#include "capture/audio_input.h"
#include "capture/capture_device.h"
#include "platform/auto_reset_event.h"
#include "platform/block_format.h"
#include "platform/timed_mutex.h"

class CSpectrumListener;

namespace kinetra::capture {

// Caption and text of the message shown when the audio input cannot be opened.
inline constexpr const char kErrorCaption[] = "Error - Ondrel Kinetra Entertainment";
inline constexpr const char kInitErrorText[] = "Could not initialize DirectSound.";

// The owner's way to tell the user about a fatal failure. The engine itself shows nothing.
class CaptureErrorReporter {
public:
    // Shows text in an error box titled caption, and after it has been closed asks the
    // application to end with exitCode. Thread: user-interface thread.
    virtual void ReportFatalError(const char* text, const char* caption, int exitCode) = 0;

protected:
    ~CaptureErrorReporter() = default;
};

// Opens a capture device by id (empty: the chosen input).
using DeviceOpener =
    std::function<Result(const std::string& id, std::unique_ptr<ICaptureDevice>* device)>;
// Lists the capture devices, the default one first.
using DeviceEnumerator = std::function<std::vector<CaptureDeviceInfo>()>;

}  // namespace kinetra::capture

class CCaptureEngine {
public:
    using Result = kinetra::capture::Result;

    // Byte length of the spectrum and of the average handed to listeners (513 doubles).
    static constexpr std::uint32_t kSpectrumBytes = kinetra::kSpectrumBins * sizeof(double);
    // Weight of the newest spectrum in the running average.
    static constexpr double kAverageWeight = 0.02;
    // Lag count above which the process is raised to the real-time class.
    static constexpr std::int32_t kLagLimit = 100;
    // How long a new capture thread waits to take the run mutex.
    static constexpr std::int32_t kAcquireWaitMs = 1000;
    // How long the capture thread sleeps between looks at the run flag without notifications.
    static constexpr std::int32_t kNotifyWaitMs = 250;
    // How long StopThread waits for the capture thread before giving up.
    static constexpr std::int32_t kStopWaitMs = 5000;
    // Pause after a failed wait, so that a broken event cannot make the thread spin.
    static constexpr std::int32_t kFailedWaitBackoffMs = 20;

    // Sets everything to null or zero; allocates nothing. Thread: user-interface thread.
    CCaptureEngine();
    // Empties the listener list. The owner calls Shutdown before. Thread: user-interface thread.
    ~CCaptureEngine();
    CCaptureEngine(const CCaptureEngine&) = delete;
    CCaptureEngine& operator=(const CCaptureEngine&) = delete;

    // --- device and format setup ---

    // Creates the spectrum frame and the average and opens the audio input. When the input
    // cannot be opened it shuts the engine down, then has owner (if any) show "Could not
    // initialize DirectSound." and request quitting with exit code 1. Thread: user-interface.
    void Init(kinetra::capture::CaptureErrorReporter* owner);
    // Creates the notification event, enumerates the devices and opens the chosen one. Returns
    // 0 or the failing result. Called by Init. Thread: user-interface thread.
    Result OpenDevice();
    // Enumeration callback: a report with an id selects that device. Returns false, so the
    // enumeration ends after its first report. Thread: user-interface thread.
    static bool EnumCaptureDevice(const kinetra::capture::CaptureDeviceInfo& info, void* context);
    // Selects the device that OpenDevice opens (empty: the chosen input). Thread: user-interface.
    void SetDeviceGuid(const std::string& id);
    // Chooses the input OpenDevice opens (and enumerates for); until called, the default choice
    // (DefaultAudioInputChoice) read at each open. A device id set by SetDeviceGuid or the
    // enumeration is opened with this choice's backend. Thread: user-interface thread.
    void SetAudioInput(const kinetra::capture::AudioInputChoice& choice);
    // Fills format for a format index (0 .. 15; wFormatTag and cbSize are the caller's) and
    // tries a trial buffer of one second of audio on the device. True when the device accepts
    // it; false without a device (the format is still filled) or for an invalid index (format
    // untouched). Thread: user-interface thread.
    bool ProbeFormat(int formatIndex, kinetra::capture::WaveFormat* format);
    // Creates the ring of 16 blocks for the format index, places the notifications and starts
    // looping capture. 0 or the failing result; kFail without a device, kInvalidArg for an index
    // outside 0 .. 15 and kBadFormat for a format the analysis cannot read (8-bit or stereo),
    // both without changing anything. Thread: user-interface thread, no capture thread running.
    Result OpenCaptureBuffer(int formatIndex);
    // Places a notification at the last byte of each of the 16 blocks. 0 or the failing result;
    // kFail without a ring. Called by OpenCaptureBuffer. Thread: user-interface thread.
    Result SetupNotifications();
    // Releases the notification event, the ring and the device. Called by Shutdown.
    // Thread: user-interface thread.
    void CloseDevice();
    // Stops the capture thread, stops the ring and releases everything. Safe to call again: a
    // second call releases nothing twice. Thread: user-interface thread.
    void Shutdown();

    // --- listeners, thread and pump ---

    // Appends a listener (not owned; duplicates are called twice). Thread: user-interface
    // thread, no capture thread running.
    void AddListener(CSpectrumListener* listener);
    // Removes the first entry equal to listener; false when it is not registered.
    // Thread: user-interface thread, no capture thread running.
    bool RemoveListener(CSpectrumListener* listener);
    // Starts the capture thread. False when one is running already or it cannot be created.
    // Thread: user-interface thread.
    bool StartThread();
    // Tells the capture thread to stop, wakes it and waits until it has left its loop (at most
    // kStopWaitMs). Returns at once when no capture thread holds the run mutex, or the caller
    // holds it already. False only when the thread did not stop in time.
    // Thread: user-interface thread.
    bool StopThread();
    // Body of the capture thread. Thread: the capture thread.
    void RunCapture();
    // Handles one notification: reads the newest whole block, analyses it and calls the
    // listeners. Allocates nothing. Thread: capture thread (tests call it directly while no
    // capture thread runs).
    void PumpBlock();

    // --- injection points for tests and tools (call before Init) ---

    // Replaces how OpenDevice opens the device (null restores OpenCaptureDevice).
    void SetDeviceOpener(kinetra::capture::DeviceOpener opener);
    // Replaces how OpenDevice enumerates the devices (null restores EnumerateCaptureDevices).
    void SetDeviceEnumerator(kinetra::capture::DeviceEnumerator enumerator);

    // The devices on offer for the chosen input, as OpenDevice enumerates them (the chosen
    // input described first, then what the live backends list). Thread: user-interface thread.
    std::vector<kinetra::capture::CaptureDeviceInfo> ListDevices() const;

    // --- read-only views for the owner, tools and tests ---

    bool HasDevice() const { return m_pCapture != nullptr; }
    bool HasBuffer() const { return m_pBuffer != nullptr; }
    bool HasSpectrumFrame() const { return m_pSpectrum != nullptr; }
    const std::string& DeviceGuid() const { return m_guidDevice; }
    const kinetra::capture::WaveFormat& Format() const { return m_format; }
    std::uint32_t BlockBytes() const { return m_dwBlockBytes; }
    std::uint32_t BufferBytes() const { return m_dwBufferBytes; }
    std::uint32_t NextOffset() const { return m_dwNextOffset; }
    const std::array<kinetra::capture::PositionNotify, 16>& NotifyTable() const { return m_notify; }
    kinetra::AutoResetEvent* NotifyEvent() const { return m_hNotifyEvent.get(); }
    // The running average (kSpectrumBins doubles) or null. Read it only while no capture
    // thread runs.
    const double* Average() const { return m_pAverage; }
    std::size_t ListenerCount() const { return m_listeners.size(); }
    // True between a successful StartThread and the end of that thread's loop.
    bool IsThreadRunning() const;
    // True while the capture thread holds the run mutex and pumps blocks.
    bool IsPumping() const {
        return m_threadState.load(std::memory_order_acquire) == ThreadState::kRunning;
    }

    // Releases the spectrum frame, so that the pump takes blocks without analysing them (as with
    // an incomplete frame): what the ring and the pump cost by themselves. Thread: user-interface
    // thread, no capture thread running.
    void DropSpectrumFrameForTesting();

    // Process-wide lag counter (dropped blocks minus on-time blocks, not below zero).
    static std::int32_t LagBlocks() { return s_nLagBlocks.load(std::memory_order_relaxed); }
    // Thread: while no capture thread runs.
    static void SetLagBlocksForTesting(std::int32_t value) {
        s_nLagBlocks.store(value, std::memory_order_relaxed);
    }

private:
    enum class ThreadState : int { kNone, kAcquiring, kRunning, kEnded };

    static void CaptureThreadProc(CCaptureEngine* engine);
    void JoinFinishedThread();
    void ReleaseArrays();

    kinetra::TimedMutex m_hCanQuit;         // held by the capture thread while it runs
    CSpectrumFrame* m_pSpectrum = nullptr;  // owned; null when incomplete or absent
    std::unique_ptr<kinetra::capture::ICaptureDevice> m_pCapture;
    std::unique_ptr<kinetra::capture::ICaptureBuffer> m_pBuffer;
    std::string m_guidDevice;                               // device id; empty for the default
    kinetra::capture::ICaptureBuffer* m_pNotify = nullptr;  // the ring's notification side
    std::array<kinetra::capture::PositionNotify, 16> m_notify{};
    std::uint32_t m_dwBufferBytes = 0;
    std::uint32_t m_dwBlockBytes = 0;
    std::uint32_t m_dwNextOffset = 0;
    kinetra::capture::WaveFormat m_format{};
    std::unique_ptr<kinetra::AutoResetEvent> m_hNotifyEvent;
    std::atomic<std::int32_t> m_bRun{0};
    std::vector<CSpectrumListener*> m_listeners;
    double* m_pAverage = nullptr;  // kSpectrumBins doubles from the C heap

    std::thread m_thread;
    std::atomic<ThreadState> m_threadState{ThreadState::kNone};
    bool m_bInitialised = false;  // Init ran and Shutdown has not released it yet
    std::optional<kinetra::capture::AudioInputChoice> m_input;  // unset: the default choice
    kinetra::capture::DeviceOpener m_opener;
    kinetra::capture::DeviceEnumerator m_enumerator;

    static std::atomic<std::int32_t> s_nLagBlocks;
};
