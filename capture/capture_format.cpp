#include "capture/capture_format.h"

#include "platform/block_format.h"

namespace kinetra::capture {

std::uint32_t SampleRateOfIndex(int index) {
    static constexpr std::uint32_t kRates[4] = {8000, 11025, 22050, kSampleRate};
    return kRates[(index / 4) & 3];
}

std::uint16_t BitsOfIndex(int index) {
    return (index % 4) % 2 == 0 ? 8 : 16;
}

std::uint16_t ChannelsOfIndex(int index) {
    return (index % 4) < 2 ? 1 : 2;
}

void FillFormatForIndex(int index, WaveFormat* format) {
    format->nSamplesPerSec = SampleRateOfIndex(index);
    format->wBitsPerSample = BitsOfIndex(index);
    format->nChannels = ChannelsOfIndex(index);
    format->nBlockAlign =
        static_cast<std::uint16_t>((format->wBitsPerSample / 8) * format->nChannels);
    format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
}

bool IsAnalysableFormat(const WaveFormat& format) {
    return format.wFormatTag == kWaveFormatPcm && format.wBitsPerSample == 16 &&
           format.nChannels == 1 && format.nBlockAlign == 2;
}

}  // namespace kinetra::capture
