#include "app/error_details.h"

#include <QStringList>

namespace kinetra::app {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "Why: ..." for each reported reason, or the fallback when there is none.
QString WhyLines(const std::string& reasons, const char* fallback) {
    QStringList lines;
    for (const QString& reason : FromUtf8(reasons).split('\n', Qt::SkipEmptyParts)) {
        lines << QStringLiteral("Why: ") + reason;
    }
    if (lines.isEmpty()) lines << QStringLiteral("Why: ") + QString::fromLatin1(fallback);
    return lines.join('\n');
}

// "\n<label><names, comma-separated, or none>".
QString FoundLine(const char* label, const QStringList& names) {
    return '\n' + QString::fromLatin1(label) +
           (names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", ")));
}

}  // namespace

QString NoForceDeviceDetail(const std::string& reason,
                            const std::vector<kinetra::force::ForceDeviceInfo>& found) {
    QStringList devices;
    for (const kinetra::force::ForceDeviceInfo& device : found) {
        if (device.kind == kinetra::force::ForceDeviceKind::kVirtual) continue;
        devices << QStringLiteral("%1 (%2)").arg(
            FromUtf8(device.name), QString::fromLatin1(ForceDeviceKindName(device.kind)));
    }
    // "What to try" below names the virtual device: the library's closing hint would say it twice.
    QString text = WhyLines(kinetra::force::ReasonWithoutVirtualHint(reason),
                            "no force-feedback device could be opened");
    text += FoundLine("Devices found: ", devices);
    text += QStringLiteral(
        "\nWhat to try: plug the device in and start Kinetra again. If it is plugged in, you may "
        "not be allowed to use it: join the \"input\" group (then log in again) or install the "
        "udev rule that comes with Kinetra. To try Kinetra without a device, start it with "
        "KINETRA_FORCE_DEVICE=virtual.");
    return text;
}

QString AudioInputDetail(const std::string& reasons,
                         const std::vector<kinetra::capture::CaptureDeviceInfo>& devices) {
    QString text;
    QStringList others;
    for (const kinetra::capture::CaptureDeviceInfo& device : devices) {
        if (device.id.empty()) {
            text = FromUtf8(device.description) + '\n';  // the chosen input
        } else {
            others << FromUtf8(device.description);
        }
    }
    text += WhyLines(reasons, "the audio input could not be opened");
    text += FoundLine("Other inputs found: ", others);
    text += QStringLiteral(
        "\nWhat to try: check that the sound server runs (pactl info) and that the input exists, "
        "or choose another with KINETRA_AUDIO_INPUT (default, monitor, or a capture device's "
        "name). To run from a sound file, start Kinetra with "
        "KINETRA_AUDIO_INPUT=file:/path/to/sound.wav.");
    return text;
}

QString CaptureBufferDetail(const std::string& reasons) {
    return WhyLines(reasons,
                    "the audio input opened but cannot deliver 44100 Hz 16-bit mono sound") +
           QStringLiteral(
               "\nWhat to try: choose another input with KINETRA_AUDIO_INPUT, or a sound file "
               "with KINETRA_AUDIO_INPUT=file:/path/to/sound.wav.");
}

QString CaptureThreadDetail() {
    return QStringLiteral(
        "Why: the system did not start another thread (too many threads, or too little "
        "memory).\nWhat to try: close other programs and start Kinetra again.");
}

}  // namespace kinetra::app
