#include "window/error_details.h"

#include "window/error_advice.h"

namespace kinetra::window {

namespace {

// "Why: ..." for each reported reason, or the fallback when there is none.
std::string WhyLines(const std::string& reasons, const char* fallback) {
    std::string lines;
    std::size_t start = 0;
    while (start <= reasons.size()) {
        std::size_t end = reasons.find('\n', start);
        if (end == std::string::npos) end = reasons.size();
        if (end > start) {
            if (!lines.empty()) lines += '\n';
            lines += "Why: " + reasons.substr(start, end - start);
        }
        start = end + 1;
    }
    if (lines.empty()) lines = std::string("Why: ") + fallback;
    return lines;
}

// "\n<label><names, comma-separated, or none>".
std::string FoundLine(const char* label, const std::vector<std::string>& names) {
    std::string line = std::string("\n") + label;
    if (names.empty()) return line + "none";
    for (std::size_t i = 0; i < names.size(); ++i) line += (i == 0 ? "" : ", ") + names[i];
    return line;
}

}  // namespace

std::string NoForceDeviceDetail(const std::string& reason,
                                const std::vector<kinetra::force::ForceDeviceInfo>& found) {
    std::vector<std::string> devices;
    for (const kinetra::force::ForceDeviceInfo& device : found) {
        if (device.kind == kinetra::force::ForceDeviceKind::kVirtual) continue;
        devices.push_back(device.name + " (" + ForceDeviceKindName(device.kind) + ")");
    }
    // "What to try" below names the virtual device: the library's closing hint would say it twice.
    std::string text = WhyLines(kinetra::force::ReasonWithoutVirtualHint(reason),
                                "no force-feedback device could be opened");
    text += FoundLine("Devices found: ", devices);
    if (reason.find("unknown") != std::string::npos) {
        // A name that names nothing: plugging in will not help.
        return text + '\n' + SystemErrorAdvice().unknownDevice;
    }
    if (reason.find("permission") != std::string::npos ||
        reason.find("not allowed") != std::string::npos) {
        return text + '\n' + SystemErrorAdvice().deviceNotAllowed;
    }
    return text + '\n' + SystemErrorAdvice().noDevice;
}

std::string AudioInputDetail(const std::string& reasons,
                             const std::vector<kinetra::capture::CaptureDeviceInfo>& devices,
                             kinetra::capture::AudioInputKind chosen) {
    using kinetra::capture::AudioInputKind;
    std::string text;
    std::vector<std::string> others;
    for (const kinetra::capture::CaptureDeviceInfo& device : devices) {
        if (device.id.empty()) {
            text = device.description + '\n';  // the chosen input
        } else {
            others.push_back(device.description);
        }
    }
    text += WhyLines(reasons, "the audio input could not be opened");
    text += FoundLine("Other inputs found: ", others);
    if (chosen == AudioInputKind::kFile) {
        return text + '\n' + SystemErrorAdvice().soundFile;
    }
    if (chosen == AudioInputKind::kNamed || chosen == AudioInputKind::kApplication) {
        return text + '\n' + SystemErrorAdvice().namedInput;
    }
    return text + '\n' + SystemErrorAdvice().defaultInput;
}

std::string CaptureBufferDetail(const std::string& reasons) {
    return WhyLines(reasons,
                    "the audio input opened but cannot deliver 44100 Hz 16-bit mono sound") +
           '\n' + SystemErrorAdvice().captureBuffer;
}

std::string CaptureThreadDetail() {
    return "Why: the system did not start another thread (too many threads, or too little "
           "memory).\nWhat to try: close other programs and start Kinetra again.";
}

}  // namespace kinetra::window
