#include "window/choice_status.h"

#include "capture/audio_applications.h"
#include "force/virtual_device.h"

namespace kinetra::window {
namespace {

constexpr char kDash[] = " \u2014 ";
constexpr char kDot[] = " \u00b7 ";

// "<label> — <description>", or the label alone without a description.
std::string Labelled(const std::string& label, const std::string& description) {
    if (description.empty()) return label;
    return label + kDash + description;
}

// The last part of a path: what follows its last '/'.
std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* DeviceStateText(force::ForceDeviceState state) {
    switch (state) {
        case force::ForceDeviceState::kNone:
            return "not open";
        case force::ForceDeviceState::kConnected:
            return "connected";
        case force::ForceDeviceState::kDisconnectedWaiting:
            return "disconnected, waiting";
        case force::ForceDeviceState::kReconnected:
            return "reconnected";
    }
    return "not open";
}

}  // namespace

std::string InputStatusText(const capture::AudioInputChoice& choice,
                            const capture::AudioSourceList& sources,
                            const std::string& currentDescription, InputOrigin origin) {
    using capture::AudioInputKind;
    const std::string& heard = currentDescription;
    std::string text;
    switch (choice.kind) {
        case AudioInputKind::kMonitor:
            text = Labelled(std::string("What this computer plays"),
                            !heard.empty() ? heard : sources.defaultOutputDescription);
            break;
        case AudioInputKind::kDefault:
            text = Labelled(std::string("Default input"),
                            !heard.empty() ? heard : sources.defaultInputDescription);
            break;
        case AudioInputKind::kNamed: {
            const capture::AudioSourceInfo* found = nullptr;
            for (const capture::AudioSourceInfo& source : sources.sources) {
                if (source.id == choice.value) found = &source;
            }
            if (found != nullptr && found->monitor) {
                text = found->description;
            } else if (found != nullptr) {
                text = Labelled(std::string("Microphone"), found->description);
            } else {
                text = Labelled(std::string("Input"), !heard.empty() ? heard : choice.value);
            }
            break;
        }
        case AudioInputKind::kFile:
            text = Labelled(std::string("Sound file"), FileNameOf(choice.value));
            break;
        case AudioInputKind::kMemory:
            text = Labelled(std::string("Memory source"), choice.value);
            break;
        case AudioInputKind::kApplication:
            text = Labelled(std::string("Application"), !heard.empty() ? heard : choice.value);
            break;
    }
    if (origin == InputOrigin::kFirstRunMonitor) {
        text += std::string(" (first start: chosen so that Test can be felt)");
    } else if (origin == InputOrigin::kFirstRunDefault) {
        text += std::string(" (no sound server answers)");
    }
    return text;
}

std::string DeviceStatusText(const force::ForceDeviceStatus& status) {
    if (status.state == force::ForceDeviceState::kNone) return "No force device";
    std::string kind = force::ForceDeviceKindName(status.kind);
    if (status.kind == force::ForceDeviceKind::kVirtual && status.twoMotors) {
        kind += std::string(" rumble");
    }
    return status.name + kDot + kind + kDot + DeviceStateText(status.state);
}

std::string DeviceMenuText(const force::ForceDeviceInfo& device) {
    return device.name + " (" + force::ForceDeviceKindName(device.kind) + ")";
}

bool ChoiceNamesDevice(const force::ForceDeviceChoice& choice,
                       const force::ForceDeviceInfo& device) {
    force::ForceDeviceChoice named;
    std::string error;
    if (!force::ParseForceDeviceChoice(device.id, &named, &error)) return false;
    if (choice.kind != named.kind) return false;
    switch (choice.kind) {
        case force::ForceDeviceChoice::Kind::Virtual:
            return DescribeForceDeviceChoice(choice) == DescribeForceDeviceChoice(named) &&
                   choice.rumble == named.rumble;
        case force::ForceDeviceChoice::Kind::Sdl:
            return choice.sdlIndex == named.sdlIndex && choice.sdlName == named.sdlName;
        case force::ForceDeviceChoice::Kind::None:
            return true;
    }
    return false;
}

std::string DescribeForceDeviceChoice(const force::ForceDeviceChoice& choice) {
    switch (choice.kind) {
        case force::ForceDeviceChoice::Kind::None:
            return "no device";
        case force::ForceDeviceChoice::Kind::Virtual:
            return choice.virtualName.empty() ? force::kVirtualDefaultName : choice.virtualName;
        case force::ForceDeviceChoice::Kind::Sdl:
            if (!choice.sdlName.empty()) return choice.sdlName;
            if (choice.sdlIndex >= 0) return "force device " + std::to_string(choice.sdlIndex);
            return "the first force device";
    }
    return {};
}

std::string InputChoiceText(const capture::AudioInputChoice& choice) {
    using capture::AudioInputKind;
    switch (choice.kind) {
        case AudioInputKind::kDefault:
            return choice.sdlOnly ? "sdl:" : "default";
        case AudioInputKind::kMonitor:
            return "monitor";
        case AudioInputKind::kNamed:
            return choice.sdlOnly ? "sdl:" + choice.value : choice.value;
        case AudioInputKind::kFile:
            return "file:" + choice.value;
        case AudioInputKind::kMemory:
            return "memory:" + choice.value;
        case AudioInputKind::kApplication:
            return capture::ApplicationInputText(choice.value, choice.binary);
    }
    return "default";
}

std::string SwitchProblemText(const std::string& what, const std::string& reason) {
    std::string first = reason.substr(0, reason.find('\n'));
    if (first.empty()) first = "it did not open";
    return "Could not open " + what + ": " + first;
}

}  // namespace kinetra::window
