#include "capture/windows/wasapi_packets.h"

#include <cmath>
#include <cstring>

namespace kinetra::capture {

WasapiPacketReader::WasapiPacketReader(const WAVEFORMATEX& format) {
    m_out.reserve(65536);
    Reset(format);
}

void WasapiPacketReader::Reset(const WAVEFORMATEX& format) {
    m_format = format;
    const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(&format);
    m_float = format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
              (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22 &&
               extensible->SubFormat.Data1 == WAVE_FORMAT_IEEE_FLOAT);
    m_step = format.nSamplesPerSec / 44100.0;
    m_phase = 0.0;
    m_last = 0.0;
}

double WasapiPacketReader::Frame(const BYTE* frame) const {
    double sum = 0.0;
    for (WORD c = 0; c < m_format.nChannels; ++c) {
        if (m_float) {
            float v;
            std::memcpy(&v, frame + 4 * c, 4);
            sum += v;
        } else {
            std::int16_t v;
            std::memcpy(&v, frame + 2 * c, 2);
            sum += v / 32768.0;
        }
    }
    return sum / m_format.nChannels;
}

std::span<const std::int16_t> WasapiPacketReader::Convert(const BYTE* data, UINT32 frames,
                                                          bool silent) {
    m_out.clear();
    for (UINT32 i = 0; i < frames; ++i) {
        const double v = silent ? 0.0 : Frame(data + i * m_format.nBlockAlign);
        // Output samples fall between the previous input frame and this one.
        for (; m_phase <= 1.0; m_phase += m_step) {
            if (m_out.size() == m_out.capacity()) continue;
            const double s = m_last + (v - m_last) * m_phase;
            m_out.push_back(static_cast<std::int16_t>(
                std::lround(std::fmax(-1.0, std::fmin(s, 32767.0 / 32768.0)) * 32768.0)));
        }
        m_phase -= 1.0;
        m_last = v;
    }
    return m_out;
}

}  // namespace kinetra::capture
