// The loopback ring follows the default output: told that it changed, its thread opens the source
// again and carries on in the new output's format; an open that fails is tried again.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "capture/windows/wasapi_loopback.h"

namespace cap = kinetra::capture;

namespace {

WAVEFORMATEXTENSIBLE Pcm16Mono44100() {
    WAVEFORMATEXTENSIBLE mix{};
    mix.Format = {WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0};
    return mix;
}

WAVEFORMATEXTENSIBLE FloatStereo48000() {
    WAVEFORMATEXTENSIBLE mix{};
    mix.Format = {WAVE_FORMAT_EXTENSIBLE, 2, 48000, 384000, 8, 32, 22};
    mix.SubFormat.Data1 = WAVE_FORMAT_IEEE_FLOAT;
    return mix;
}

// Each Open takes the next output of its script (none: the open fails); each output's packets
// hold one value: 8192 as 16-bit mono, or 0.5 and 0.25 as float stereo (12288 averaged).
class ScriptedSource final : public cap::LoopbackSource {
public:
    explicit ScriptedSource(std::vector<std::optional<WAVEFORMATEXTENSIBLE>> script)
        : m_script(std::move(script)) {}
    cap::Result Open(WAVEFORMATEXTENSIBLE* mix) override {
        std::lock_guard<std::mutex> lock(m_lock);
        const std::optional<WAVEFORMATEXTENSIBLE> next =
            m_next < m_script.size() ? m_script[m_next] : std::nullopt;
        ++m_next;
        if (!next) return cap::kFail;
        *mix = *next;
        m_mix = *next;
        m_packet.assign(480 * m_mix.Format.nBlockAlign, 0);
        for (std::size_t at = 0; at < m_packet.size(); at += m_mix.Format.nBlockAlign) {
            if (m_mix.Format.wBitsPerSample == 16) {
                const std::int16_t v = 8192;
                std::memcpy(&m_packet[at], &v, 2);
            } else {
                const float v[2] = {0.5f, 0.25f};
                std::memcpy(&m_packet[at], v, 8);
            }
        }
        return cap::kOk;
    }
    void Close() override {}
    cap::Result Start() override { return cap::kOk; }
    void Stop() override {}
    // One packet for each poll.
    bool NextPacket(const BYTE** data, UINT32* frames, bool* silent) override {
        m_given = !m_given;
        if (!m_given) return false;
        *data = m_packet.data();
        *frames = 480;
        *silent = false;
        return true;
    }
    void ReleasePacket(UINT32) override {}

private:
    std::mutex m_lock;
    std::vector<std::optional<WAVEFORMATEXTENSIBLE>> m_script;
    std::size_t m_next = 0;
    WAVEFORMATEXTENSIBLE m_mix{};
    std::vector<BYTE> m_packet;
    bool m_given = false;
};

// The newest sample in the ring.
std::int16_t Newest(cap::LoopbackCaptureBuffer& ring) {
    std::uint32_t capture = 0, read = 0;
    ring.GetCurrentPosition(&capture, &read);
    void* a = nullptr;
    void* b = nullptr;
    std::uint32_t an = 0, bn = 0;
    ring.Lock((capture + ring.Size() - 2) % ring.Size(), 2, &a, &an, &b, &bn);
    std::int16_t v = 0;
    std::memcpy(&v, a, 2);
    return v;
}

// Waits (at most 10 s) for the newest sample to be value.
bool Reaches(cap::LoopbackCaptureBuffer& ring, std::int16_t value) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        if (Newest(ring) == value) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(LoopbackFollow, ANewDefaultOutputIsOpenedAndReadInItsOwnFormat) {
    // The first output; after the change one failed open, then the new output.
    auto source = std::make_unique<ScriptedSource>(std::vector<std::optional<WAVEFORMATEXTENSIBLE>>{
        Pcm16Mono44100(), std::nullopt, FloatStereo48000()});
    WAVEFORMATEXTENSIBLE mix{};
    ASSERT_EQ(source->Open(&mix), cap::kOk);
    cap::LoopbackCaptureBuffer ring(32768, std::move(source), mix);
    ASSERT_TRUE(ring.IsValid());
    ASSERT_EQ(ring.Start(true), cap::kOk);
    EXPECT_TRUE(Reaches(ring, 8192));
    EXPECT_EQ(ring.Reopens(), 0);
    ring.NoteDefaultOutputChanged();
    EXPECT_TRUE(Reaches(ring, 12288)) << "newest sample " << Newest(ring);
    EXPECT_EQ(ring.Reopens(), 2);
    EXPECT_EQ(ring.Stop(), cap::kOk);
}

}  // namespace
