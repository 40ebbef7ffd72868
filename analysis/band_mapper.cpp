#include "analysis/band_mapper.h"

#include <cmath>
#include <cstdio>

#include "analysis/band_levels.h"
#include "analysis/level_threshold.h"
#include "force/force_channel.h"
#include "platform/block_format.h"
#include "platform/debug_output.h"

namespace {

constexpr double kCaptureRate = kinetra::kSampleRate;
constexpr std::uint32_t kHighestBandHz = 22050;
constexpr std::uint32_t kScaleStep = 10;
constexpr std::uint32_t kScaleCeiling = 2000;
constexpr std::int32_t kSaturatingStep = 3;
constexpr std::int32_t kLowerScaleAbove = 15;
constexpr std::int32_t kRaiseScaleBelow = -7;
constexpr std::uint32_t kSaturationLevel = 5000;
constexpr std::uint32_t kFullMagnitude = 10000;
constexpr std::uint32_t kTopBandLimit = 9999;
constexpr std::uint32_t kBandLimit = 9000;
constexpr std::uint32_t kLastBin = 512;

// mag = (scale * peak) * peak, truncated toward zero. Ratios are bounded when the average comes
// from the capture engine; a caller's average of 0 under a loud bin must not make the conversion
// undefined, so the product saturates at the largest 32-bit value.
std::uint32_t MagnitudeOf(std::uint32_t scale, double peakLevel) {
    const double product = (static_cast<double>(scale) * peakLevel) * peakLevel;
    if (!(product < 4294967295.0)) return 0xFFFFFFFFU;
    return static_cast<std::uint32_t>(product);
}

// The lowest band sends only 0, whole thousands up to 5000, and full strength.
std::uint32_t QuantiseLowestBand(std::uint32_t mag) {
    if (mag > kSaturationLevel) return kFullMagnitude;
    if (mag > 1000) return (mag / 1000) * 1000;
    return 0;
}

}  // namespace

CBandMapper::CBandMapper(std::uint32_t binCount) : m_nBins(binCount) {
    SetBand(m_dwLowHz, m_dwHighHz);
}

CBandMapper::~CBandMapper() {
    delete m_pChannel;
}

int CBandMapper::AttachEffect() {
    if (m_pChannel != nullptr) return 0;
    m_pChannel = new CForceChannel();
    if (m_pChannel->CreateEffect(0, m_dwEffectHz) == 0) {
        delete m_pChannel;
        m_pChannel = nullptr;
        return 0;
    }
    return 1;
}

int CBandMapper::SetBand(std::uint32_t lowHz, std::uint32_t highHz) {
    m_dwLowHz = lowHz;
    m_dwHighHz = highHz;
    m_loBin = BinOf(lowHz);
    m_hiBin = BinOf(highHz);
    // Fewer bins than the band reaches.
    if (m_hiBin >= m_nBins) m_hiBin = m_nBins == 0 ? 0 : m_nBins - 1;
    return 1;
}

int CBandMapper::SetEffectFrequency(std::uint32_t hz) {
    m_dwEffectHz = hz;
    return 1;
}

int CBandMapper::SetThreshold(std::uint32_t position) {
    m_dThreshold.store(kinetra::analysis::ThresholdForLevel(position), std::memory_order_relaxed);
    m_dHitsSensitivity.store(kinetra::analysis::HitsSensitivityOf(position / 5),
                             std::memory_order_relaxed);
    return 1;
}

int CBandMapper::SetGain(std::uint32_t gain) {
    return m_pChannel != nullptr ? m_pChannel->ChangeGain(gain) : 0;
}

int CBandMapper::Enable(int flag) {
    m_bEnabled.store(flag, std::memory_order_relaxed);
    if (m_pChannel == nullptr) return flag;
    return flag != 0 ? m_pChannel->Start() : m_pChannel->Stop();
}

std::uint32_t CBandMapper::BinOf(std::uint32_t freq) const {
    if (m_nBins < 2) return 1;  // no spectrum to speak of: every band is the first bin
    const double binWidth = kCaptureRate / static_cast<double>(m_nBins - 1) * 0.5;
    if (static_cast<double>(freq) < binWidth) return 1;
    const std::uint32_t limited = freq < kHighestBandHz ? freq : kHighestBandHz;
    return static_cast<std::uint32_t>(std::ceil(static_cast<double>(limited) / binWidth));
}

CBandMapper::LiveReading CBandMapper::Live() const {
    LiveReading reading;
    reading.blocks = m_liveBlocks.load(std::memory_order_relaxed);
    reading.loudestLevel = m_liveLevel.load(std::memory_order_relaxed);
    reading.mag = m_liveMag.load(std::memory_order_relaxed);
    reading.lastSendingBlock = m_liveSendingBlock.load(std::memory_order_relaxed);
    reading.lastSendingMag = m_liveSendingMag.load(std::memory_order_relaxed);
    return reading;
}

void CBandMapper::Publish(double loudestLevel, std::uint32_t mag) {
    m_liveLevel.store(loudestLevel, std::memory_order_relaxed);
    m_liveMag.store(mag, std::memory_order_relaxed);
    if (mag != 0) {
        m_liveSendingMag.store(mag, std::memory_order_relaxed);
        m_liveSendingBlock.store(m_liveBlocks.load(std::memory_order_relaxed),
                                 std::memory_order_relaxed);
    }
}

int CBandMapper::OnSpectrum(const double* spectrum, const double* average,
                            std::uint32_t byteLength) {
    m_liveBlocks.store(m_liveBlocks.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    if (m_bEnabled.load(std::memory_order_relaxed) == 0) return 0;
    if (spectrum == nullptr || average == nullptr ||
        static_cast<std::uint64_t>(byteLength) < static_cast<std::uint64_t>(m_nBins) * 8) {
        kinetra::DebugOutput("MAPPER: Bad Data\n");
        return 0;
    }
    const std::uint32_t lo = m_loBin;
    const std::uint32_t hi = m_hiBin;
    if (m_mode.load(std::memory_order_relaxed) == MapperMode::kHits) {
        const bool windowed =
            static_cast<std::uint64_t>(byteLength) >= static_cast<std::uint64_t>(m_nBins) * 16;
        return MapHits(spectrum, windowed ? spectrum + m_nBins : spectrum, lo, hi);
    }
    m_lastMode = MapperMode::kClassic;

    double peakLevel = 0.0;
    double highestLevel = 0.0;
    double avgLevel = 0.0;
    // The band's mean level serves only the lowest band's debug line and the full report, so it
    // is worked out only when one of them will be read.
    const bool debugLine = lo <= 1 && kinetra::DebugOutputEnabled();
    const bool wantAverage = m_bFullReport || debugLine;
    if (lo <= hi) {
        const kinetra::analysis::BandLevels levels =
            kinetra::analysis::MeasureBand(spectrum, average, lo, hi);
        peakLevel = levels.peakLevel;
        highestLevel = levels.highestLevel;
        if (wantAverage) {
            const double nBandBins = static_cast<double>(hi - lo + 1);
            for (std::uint32_t i = lo; i <= hi; ++i) avgLevel = avgLevel + spectrum[i] / nBandBins;
        }
        if (peakLevel < 1.0) peakLevel = 0.0;
    }

    std::uint32_t mag = 0;
    bool limited = false;
    if (highestLevel > m_dThreshold.load(std::memory_order_relaxed)) {
        mag = MagnitudeOf(m_dwScale, peakLevel);
        if (mag > kSaturationLevel) {
            m_nHysteresis += kSaturatingStep;
            if (lo == 1) mag = kFullMagnitude;
        } else {
            m_nHysteresis -= 1;
        }
        if (m_nHysteresis > kLowerScaleAbove && m_dwScale > 0) {
            m_dwScale -= kScaleStep;
            m_nHysteresis = 0;
        } else if (m_nHysteresis < kRaiseScaleBelow) {
            if (m_dwScale < kScaleCeiling) m_dwScale += kScaleStep;
            m_nHysteresis = 0;
        }
        if (mag >= kFullMagnitude && hi >= kLastBin) {
            mag = kTopBandLimit;
            limited = true;
        } else if (mag >= kBandLimit && lo > 1) {
            mag = kBandLimit;
            limited = true;
        }
    }
    if (!limited && lo <= 1) mag = QuantiseLowestBand(mag);

    if (debugLine) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "mag = %d\tpeakLevel = %.0f\thighestLevel = %.0f\tavgLevel = %.0f\n",
                      static_cast<int>(mag), peakLevel, highestLevel, avgLevel);
        kinetra::DebugOutput(line);
    }

    m_last = BlockReport{lo, hi, peakLevel, highestLevel, avgLevel, mag};
    Publish(highestLevel, mag);
    // Without an effect frequency there is no period to play: the effect keeps the silence it
    // was created with until the mapper has one.
    if (m_pChannel != nullptr && m_dwEffectHz != 0) m_pChannel->ChangeParameters(mag, m_dwEffectHz);
    return 1;
}

int CBandMapper::MapHits(const double* plain, const double* spectrum, std::uint32_t lo,
                         std::uint32_t hi) {
    if (m_lastMode != MapperMode::kHits) {
        m_hits.Reset();
        m_lastMode = MapperMode::kHits;
    }
    kinetra::analysis::HitsBlock block;
    if (lo <= hi) {
        block = m_hits.Process(plain, spectrum, m_nBins, lo, hi,
                               m_dHitsSensitivity.load(std::memory_order_relaxed));
    }
    std::uint32_t mag = block.mag;
    // The same ceilings as the classic rule: the top band and the bands above the lowest.
    if (mag >= kFullMagnitude && hi >= kLastBin) {
        mag = kTopBandLimit;
    } else if (mag >= kBandLimit && lo > 1) {
        mag = kBandLimit;
    }
    const double avgLevel = lo <= hi ? block.energy / static_cast<double>(hi - lo + 1) : 0.0;
    if (lo <= 1 && kinetra::DebugOutputEnabled()) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "mag = %d\tpeakLevel = %.0f\thighestLevel = %.0f\tavgLevel = %.0f\n",
                      static_cast<int>(mag), block.strength, block.loudest, avgLevel);
        kinetra::DebugOutput(line);
    }
    // In hits mode the report's peak level is the onset strength.
    m_last = BlockReport{lo, hi, block.strength, block.loudest, avgLevel, mag};
    Publish(block.loudest, mag);
    if (m_pChannel != nullptr && m_dwEffectHz != 0) m_pChannel->ChangeParameters(mag, m_dwEffectHz);
    return 1;
}
