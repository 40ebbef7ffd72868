// Band mappers: one frequency band of the spectrum drives one periodic force effect.
#pragma once

#include <atomic>
#include <cstdint>

#include "analysis/hits_rule.h"
#include "capture/spectrum_listener.h"

class CForceChannel;

// How a mapper turns its band into magnitudes: the classic rule (peak ratio over the running
// average, adaptive scale), or hits (onsets of the band's energy; see analysis/hits_rule.h).
enum class MapperMode : std::int32_t { kClassic = 0, kHits = 1 };

// "classic" or "hits". Thread: any.
inline const char* MapperModeName(MapperMode mode) {
    return mode == MapperMode::kHits ? "hits" : "classic";
}

class CBandMapper final : public CSpectrumListener {
public:
    // Thread (all but OnSpectrum): user-interface thread.
    explicit CBandMapper(std::uint32_t binCount);
    ~CBandMapper();

    // Creates the mapper's force channel and its effect (magnitude 0, current effect frequency).
    // Returns 1, or 0 after destroying the channel again.
    int AttachEffect();
    // Stores the band's edges and works out its bins (BinOf of each edge, the upper one limited
    // to the last bin) once, for every block after it. Thread: user-interface thread, while no
    // capture thread runs.
    int SetBand(std::uint32_t lowHz, std::uint32_t highHz);
    int SetEffectFrequency(std::uint32_t hz);
    // Threshold = e^(position / 5), integer division. Thread: user-interface thread, any time.
    int SetThreshold(std::uint32_t position);
    // Passes gain (0..10000) to the channel; 0 without one. Thread: user-interface thread.
    int SetGain(std::uint32_t gain);
    // Chooses the rule; the next block uses it. Switching to hits starts its running values
    // afresh; the classic rule's scale and counter keep what they had. Thread: any, any time.
    void SetMode(MapperMode mode) { m_mode.store(mode, std::memory_order_relaxed); }
    MapperMode Mode() const { return m_mode.load(std::memory_order_relaxed); }
    int Enable(int flag) override;
    int OnSpectrum(const double* spectrum, const double* average,
                   std::uint32_t byteLength) override;
    // Hits mode reads the windowed powers: another band's tone leaks into its bins far less.
    bool WantsWindowedSpectrum() const override { return Mode() == MapperMode::kHits; }

    // Bin of a band edge: 1 below one bin width, else ceil(min(freq, 22050) / width).
    std::uint32_t BinOf(std::uint32_t freq) const;

    // What the latest processed block gave. Thread: the capture thread, or any thread while no
    // capture thread runs.
    struct BlockReport {
        std::uint32_t firstBin = 0;
        std::uint32_t lastBin = 0;
        double peakLevel = 0.0;
        double highestLevel = 0.0;
        double avgLevel = 0.0;
        std::uint32_t mag = 0;
    };
    const BlockReport& LastReport() const { return m_last; }
    // With full reports on, every block's report carries the band's mean level (avgLevel);
    // otherwise only the lowest band works it out, and only while debug output is read.
    // Thread: while no capture thread runs.
    void SetFullReport(bool on) { m_bFullReport = on; }

    // What the window's meters show, published by every block with relaxed stores. Each field is
    // read on its own, so two fields may come from neighbouring blocks. A disabled mapper counts
    // its blocks and leaves the other fields as they were. Thread: any.
    struct LiveReading {
        std::uint64_t blocks = 0;            // blocks received, disabled or not
        double loudestLevel = 0.0;           // the band's loudest bin, compared with Threshold()
        std::uint32_t mag = 0;               // the magnitude sent for the latest block
        std::uint64_t lastSendingBlock = 0;  // the number (1, 2, ...) of the latest block that
                                             // sent a non-zero magnitude; 0 for none yet
        std::uint32_t lastSendingMag = 0;    // that block's magnitude
    };
    LiveReading Live() const;

    // Read-only views for the dialog, tools and tests.
    std::uint32_t EffectFrequency() const { return m_dwEffectHz; }
    std::uint32_t Scale() const { return m_dwScale; }
    std::int32_t Hysteresis() const { return m_nHysteresis; }
    double Threshold() const { return m_dThreshold.load(std::memory_order_relaxed); }
    CForceChannel* Channel() const { return m_pChannel; }
    // The hits rule's running values. Thread: as LastReport.
    const kinetra::analysis::HitsRule& Hits() const { return m_hits; }

private:
    // The hits mode's share of OnSpectrum, for a block that passed the checks.
    // plain: the block's plain powers; spectrum: its windowed ones when the block brought them,
    // else the plain ones.
    int MapHits(const double* plain, const double* spectrum, std::uint32_t lo, std::uint32_t hi);
    // Stores a processed block's values for Live(). Thread: capture thread.
    void Publish(double loudestLevel, std::uint32_t mag);

    std::uint32_t m_dwLowHz = 0;
    std::uint32_t m_dwHighHz = 0;
    std::uint32_t m_loBin = 1;  // BinOf(m_dwLowHz), set with the edges
    std::uint32_t m_hiBin = 1;  // BinOf(m_dwHighHz), at most the last bin
    std::uint32_t m_dwEffectHz = 0;
    std::uint32_t m_nBins;
    std::uint32_t m_dwScale = 50;
    std::int32_t m_nHysteresis = 0;
    std::atomic<double> m_dThreshold{3000.0};
    CForceChannel* m_pChannel = nullptr;
    BlockReport m_last;
    bool m_bFullReport = false;
    std::atomic<MapperMode> m_mode{MapperMode::kClassic};
    MapperMode m_lastMode = MapperMode::kClassic;  // capture thread's own copy
    std::atomic<double> m_dHitsSensitivity{kinetra::analysis::HitsSensitivityOf(4)};
    kinetra::analysis::HitsRule m_hits;
    // Live(): written by the capture thread only, so each is a load and a relaxed store.
    std::atomic<std::uint64_t> m_liveBlocks{0};
    std::atomic<double> m_liveLevel{0.0};
    std::atomic<std::uint32_t> m_liveMag{0};
    std::atomic<std::uint64_t> m_liveSendingBlock{0};
    std::atomic<std::uint32_t> m_liveSendingMag{0};
};
