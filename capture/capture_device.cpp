#include "capture/capture_device.h"

#include "capture/backends/backend_table.h"

namespace kinetra::capture {
namespace {

// True when a row after row serves choice too: row may then fail without a word.
bool LaterRowServes(const CaptureBackend* const* row, const CaptureBackend* const* end,
                    const AudioInputChoice& choice) {
    for (++row; row != end; ++row) {
        if ((*row)->serves(choice)) return true;
    }
    return false;
}

}  // namespace

std::vector<CaptureDeviceInfo> EnumerateCaptureDevices(const AudioInputChoice& choice) {
    std::vector<CaptureDeviceInfo> devices;
    devices.push_back({std::string(), "Chosen input: " + DescribeAudioInput(choice)});
    if (choice.kind == AudioInputKind::kFile || choice.kind == AudioInputKind::kMemory) {
        return devices;
    }
    for (const CaptureBackend* backend : CaptureBackends()) {
        if (backend->list == nullptr) continue;
        for (CaptureDeviceInfo& info : backend->list()) devices.push_back(std::move(info));
    }
    return devices;
}

Result OpenCaptureDevice(const std::string& id, const AudioInputChoice& choice,
                         std::unique_ptr<ICaptureDevice>* device) {
    if (device == nullptr) return kInvalidArg;
    device->reset();
    AudioInputChoice input = choice;
    if (!id.empty()) {
        input = ParseAudioInput(id);
        input.backend = choice.backend;
    }
    const std::span<const CaptureBackend* const> rows = CaptureBackends();
    for (auto row = rows.begin(); row != rows.end(); ++row) {
        if (!(*row)->serves(input)) continue;
        const bool quiet = LaterRowServes(&*row, rows.data() + rows.size(), input);
        const Result result = (*row)->open(input, quiet, device);
        if (result == kOk || !quiet) return result;
        device->reset();
    }
    ReportAudioInputProblem("no audio backend serves " + DescribeAudioInput(input));
    return kNoDriver;
}

std::vector<CaptureDeviceInfo> EnumerateCaptureDevices() {
    AudioInputChoice choice;
    std::string error;
    DefaultAudioInputChoice(&choice, &error);  // a malformed default is reported by the open
    return EnumerateCaptureDevices(choice);
}

Result OpenCaptureDevice(const std::string& id, std::unique_ptr<ICaptureDevice>* device) {
    AudioInputChoice choice;
    std::string error;
    if (!DefaultAudioInputChoice(&choice, &error)) {
        ReportAudioInputProblem(error);
        if (device != nullptr) device->reset();
        return kInvalidArg;
    }
    return OpenCaptureDevice(id, choice, device);
}

}  // namespace kinetra::capture
