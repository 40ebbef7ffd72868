// One band's periodic force effect on the shared force-feedback device.
#pragma once

#include <cstdint>

class COndMouse;
class COndPeriodic;

class CForceChannel {
public:
    // Counts the channel and, when no shared device is open, opens one (flags 8 and 1).
    // Never fails visibly: without a device every CreateEffect returns 0.
    // Thread: user-interface thread, while no capture thread runs.
    CForceChannel();
    // Destroys the effect; the last channel alive releases the shared device.
    // Thread: user-interface thread, while no capture thread runs.
    ~CForceChannel();
    CForceChannel(const CForceChannel&) = delete;
    CForceChannel& operator=(const CForceChannel&) = delete;

    // Creates and starts an infinite sine effect; period = integer part of 1000 * (1 / Hz)
    // (0 for 0 Hz). Returns 1 on success; 0 when an effect exists already, there is no device,
    // or the device refuses the effect. Thread: user-interface thread.
    int CreateEffect(std::uint32_t magnitude, std::uint32_t frequencyHz);

    // Changes magnitude (0..10000) and period (1000 / Hz, integer division) of the playing
    // effect; a frequency of 0 leaves the period as it is and changes only the magnitude.
    // Returns the library's result, or 0 without an effect.
    // Thread: capture thread (may overlap Start, Stop and ChangeGain on the user-interface thread).
    int ChangeParameters(std::uint32_t magnitude, std::uint32_t frequencyHz);

    // Scales this effect alone (0..10000, 10000 = full). Thread: user-interface thread.
    int ChangeGain(std::uint32_t gain);
    // Resumes / silences the effect without destroying it. Thread: user-interface thread.
    int Start();
    int Stop();

    // Fills buffer with the shared device's product name and returns 1, or returns 0 without a
    // device (buffer untouched). Thread: user-interface thread.
    static int GetDeviceProductName(char* buffer, std::uint32_t size);

    // Owner of the shared device: the program's module instance and its main window, handed to
    // the library when the first channel opens the device (both may be null).
    // Thread: user-interface thread, before the first channel is created.
    static void SetOwner(void* instance, void* window);

    // Process-wide state, exposed read-only for diagnostics and tests.
    static COndMouse* SharedDevice() { return s_pDevice; }
    static std::int32_t ChannelCount() { return s_nChannels; }

private:
    COndPeriodic* m_pEffect = nullptr;

    static COndMouse* s_pDevice;
    static std::int32_t s_nChannels;
    static void* s_pOwnerInstance;
    static void* s_pOwnerWindow;
};
