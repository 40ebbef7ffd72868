#include "app/choice_status.h"

#include <QFileInfo>

#include "capture/audio_applications.h"
#include "force/virtual_device.h"

namespace kinetra::app {
namespace {

constexpr char16_t kDash[] = u" \u2014 ";
constexpr char16_t kDot[] = u" \u00b7 ";

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "<label> — <description>", or the label alone without a description.
QString Labelled(const QString& label, const std::string& description) {
    if (description.empty()) return label;
    return label + QString::fromUtf16(kDash) + Utf8(description);
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

QString InputStatusText(const capture::AudioInputChoice& choice,
                        const capture::AudioSourceList& sources,
                        const std::string& currentDescription, InputOrigin origin) {
    using capture::AudioInputKind;
    const std::string& heard = currentDescription;
    QString text;
    switch (choice.kind) {
        case AudioInputKind::kMonitor:
            text = Labelled(QStringLiteral("What this computer plays"),
                            !heard.empty() ? heard : sources.defaultOutputDescription);
            break;
        case AudioInputKind::kDefault:
            text = Labelled(QStringLiteral("Default input"),
                            !heard.empty() ? heard : sources.defaultInputDescription);
            break;
        case AudioInputKind::kNamed: {
            const capture::AudioSourceInfo* found = nullptr;
            for (const capture::AudioSourceInfo& source : sources.sources) {
                if (source.id == choice.value) found = &source;
            }
            if (found != nullptr && found->monitor) {
                text = Utf8(found->description);
            } else if (found != nullptr) {
                text = Labelled(QStringLiteral("Microphone"), found->description);
            } else {
                text = Labelled(QStringLiteral("Input"), !heard.empty() ? heard : choice.value);
            }
            break;
        }
        case AudioInputKind::kFile:
            text = Labelled(QStringLiteral("Sound file"),
                            QFileInfo(Utf8(choice.value)).fileName().toStdString());
            break;
        case AudioInputKind::kMemory:
            text = Labelled(QStringLiteral("Memory source"), choice.value);
            break;
        case AudioInputKind::kApplication:
            text = Labelled(QStringLiteral("Application"), !heard.empty() ? heard : choice.value);
            break;
    }
    if (origin == InputOrigin::kFirstRunMonitor) {
        text += QStringLiteral(" (first start: chosen so that Test can be felt)");
    } else if (origin == InputOrigin::kFirstRunDefault) {
        text += QStringLiteral(" (no sound server answers)");
    }
    return text;
}

QString DeviceStatusText(const force::ForceDeviceStatus& status) {
    if (status.state == force::ForceDeviceState::kNone) return QStringLiteral("No force device");
    QString kind = QString::fromLatin1(force::ForceDeviceKindName(status.kind));
    if (status.kind == force::ForceDeviceKind::kVirtual && status.twoMotors) {
        kind += QStringLiteral(" rumble");
    }
    const QString dot = QString::fromUtf16(kDot);
    return Utf8(status.name) + dot + kind + dot +
           QString::fromLatin1(DeviceStateText(status.state));
}

QString DeviceMenuText(const force::ForceDeviceInfo& device) {
    return QStringLiteral("%1 (%2)").arg(
        Utf8(device.name), QString::fromLatin1(force::ForceDeviceKindName(device.kind)));
}

bool ChoiceNamesDevice(const force::ForceDeviceChoice& choice,
                       const force::ForceDeviceInfo& device) {
    force::ForceDeviceChoice named;
    std::string error;
    if (!force::ParseForceDeviceChoice(device.id, &named, &error)) return false;
    if (choice.kind != named.kind) return false;
    switch (choice.kind) {
        case force::ForceDeviceChoice::Kind::Virtual:
            return DescribeForceDeviceChoice(choice) == DescribeForceDeviceChoice(named);
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

QString SwitchProblemText(const std::string& what, const std::string& reason) {
    std::string first = reason.substr(0, reason.find('\n'));
    if (first.empty()) first = "it did not open";
    return QStringLiteral("Could not open %1: %2").arg(Utf8(what), Utf8(first));
}

}  // namespace kinetra::app
