// The detailed text of the window's error boxes: below the box's first line (the message itself),
// why it happened and what to try, with what was found. Plain text, lines separated by '\n'.
#pragma once

#include <string>
#include <vector>

#include "capture/audio_input.h"
#include "capture/capture_device.h"
#include "force/force_devices.h"

namespace kinetra::window {

// "Could not find an Ondrel Pulsenic device.": reason (why the device did not open, empty when
// unknown) and the devices found (ListForceDevices; the virtual device is not counted as found),
// then what to try (this system's SystemErrorAdvice): plugging it in, what may keep it from being
// used, KINETRA_FORCE_DEVICE=virtual.
// Thread: any.
std::string NoForceDeviceDetail(const std::string& reason,
                                const std::vector<kinetra::force::ForceDeviceInfo>& found);

// "Could not initialize DirectSound.": the reasons the audio input gave (one per line, empty when
// none), and the devices on offer (CCaptureEngine::ListDevices: the chosen input described
// first, then the others), then what to try (SystemErrorAdvice): the system's sound settings,
// another input, a sound file.
// Thread: any.
// The advice fits the kind of input chosen: a file's path, a device's name, or the server.
std::string AudioInputDetail(
    const std::string& reasons, const std::vector<kinetra::capture::CaptureDeviceInfo>& devices,
    kinetra::capture::AudioInputKind chosen = kinetra::capture::AudioInputKind::kDefault);

// "Error creating sound capture buffer.": the input opened but refused the ring of 44100 Hz
// 16-bit mono blocks; reasons as above. Thread: any.
std::string CaptureBufferDetail(const std::string& reasons);

// "Could not start the sound capture thread.". Thread: any.
std::string CaptureThreadDetail();

}  // namespace kinetra::window
