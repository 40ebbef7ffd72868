#include "force/backends/rumble_backend.h"

#include <algorithm>

#include "force/force_units.h"

namespace kinetra::force {

bool DrivesLowMotor(std::uint32_t periodMs) {
    // 1000 / periodMs < kRumbleSplitHz  <=>  periodMs * kRumbleSplitHz > 1000.
    if (periodMs == 0) return true;
    return static_cast<std::uint64_t>(periodMs) * kRumbleSplitHz > 1000;
}

std::uint16_t MotorLevel(std::uint32_t magnitude, std::uint32_t gain) {
    return static_cast<std::uint16_t>(
        DeviceLevel(magnitude, gain, static_cast<std::int32_t>(kMotorFullScale)));
}

MotorLevels CombineRumble(const RumbleInput* inputs, std::size_t count) {
    MotorLevels levels;
    for (std::size_t i = 0; i < count; ++i) {
        const RumbleInput& in = inputs[i];
        if (!in.playing) continue;
        const std::uint16_t level = MotorLevel(in.magnitude, in.gain);
        std::uint16_t& motor = DrivesLowMotor(in.periodMs) ? levels.low : levels.high;
        motor = std::max(motor, level);
    }
    return levels;
}

RumbleBackend::RumbleBackend(std::unique_ptr<RumbleOutput> output, std::string name,
                             bool forEffects)
    : m_output(std::move(output)), m_name(std::move(name)), m_forEffects(forEffects) {
    if (m_forEffects) m_renewal = std::thread([this] { RenewalLoop(); });
}

RumbleBackend::~RumbleBackend() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_renewal.joinable()) m_renewal.join();
    // No other call runs now: silence both motors at once.
    if (m_forEffects && m_sentOnce && !m_lost) m_output->Rumble(MotorLevels{}, 0);
}

bool RumbleBackend::Disconnected() const {
    std::lock_guard lock(m_mutex);
    return m_lost;
}

MotorLevels RumbleBackend::SentLevels() const {
    std::lock_guard lock(m_mutex);
    return m_sent;
}

bool RumbleBackend::Send(std::unique_lock<std::mutex>& lock, bool renew) {
    if (m_busy) return !m_failing;  // the sending call sends the newest values before it returns
    m_busy = true;
    bool ok = true;
    for (;;) {
        RumbleInput inputs[kSlots];
        for (int i = 0; i < kSlots; ++i) {
            inputs[i] = m_slots[i].exists ? m_slots[i].input : RumbleInput{};
        }
        const MotorLevels want = CombineRumble(inputs, kSlots);
        const bool silent = want == MotorLevels{};
        const bool changed = !m_sentOnce || !(want == m_sent);
        if (!changed && !(renew && !silent)) break;
        if (m_lost) {
            ok = false;
            break;
        }
        lock.unlock();
        const bool done = m_output->Rumble(want, silent ? 0 : kRumbleCommandMs);
        const bool lost = !done && m_output->Lost();
        lock.lock();
        if (!done) {
            m_lost = m_lost || lost;
            ok = false;
            break;
        }
        const bool held = m_sentOnce && !(m_sent == MotorLevels{});
        m_sent = want;
        m_sentOnce = true;
        m_lastSend = std::chrono::steady_clock::now();
        renew = false;
        // Motors that start turning need renewing: the renewal loop waits for them from now.
        if (!held && !silent) m_wake.notify_all();
    }
    m_busy = false;
    m_failing = !ok;
    return ok;
}

void RumbleBackend::RenewalLoop() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        // Turning motors are sent again kRumbleRenewMs after their last command; silent (or lost)
        // ones need nothing until a command starts them, which wakes this loop (Send), as the
        // destructor does to end it.
        if (m_sentOnce && !m_lost && !(m_sent == MotorLevels{})) {
            m_wake.wait_until(lock, m_lastSend + std::chrono::milliseconds(kRumbleRenewMs));
        } else {
            m_wake.wait(lock);
        }
        if (m_quit) break;
        if (m_lost) continue;
        const auto age = std::chrono::steady_clock::now() - m_lastSend;
        if (m_sentOnce && !(m_sent == MotorLevels{}) &&
            age >= std::chrono::milliseconds(kRumbleRenewMs)) {
            Send(lock, true);
        }
    }
}

int RumbleBackend::CreateEffect(const DeviceEffect& effect) {
    if (!m_forEffects) return -1;
    std::unique_lock lock(m_mutex);
    if (m_lost) return -1;
    for (int id = 0; id < kSlots; ++id) {
        if (m_slots[id].exists) continue;
        m_slots[id].exists = true;
        m_slots[id].input = RumbleInput{false, effect.magnitude, effect.gain, effect.periodMs};
        return id;
    }
    return -1;
}

bool RumbleBackend::UpdateEffect(int id, const DeviceEffect& effect) {
    std::unique_lock lock(m_mutex);
    if (!Valid(id) || m_lost) return false;
    RumbleInput& in = m_slots[id].input;
    in.magnitude = effect.magnitude;
    in.gain = effect.gain;
    in.periodMs = effect.periodMs;
    lock.unlock();
    const bool present = m_output->EffectUpdated();
    lock.lock();
    if (!present) {
        m_lost = true;
        return false;
    }
    return Send(lock, false);
}

bool RumbleBackend::RunEffect(int id, std::uint32_t /*iterations*/) {
    std::unique_lock lock(m_mutex);
    if (!Valid(id) || m_lost) return false;
    m_slots[id].input.playing = true;
    return Send(lock, false);
}

bool RumbleBackend::StopEffect(int id) {
    std::unique_lock lock(m_mutex);
    if (!Valid(id) || m_lost) return false;
    m_slots[id].input.playing = false;
    return Send(lock, false);
}

void RumbleBackend::DestroyEffect(int id) {
    std::unique_lock lock(m_mutex);
    if (!Valid(id)) return;
    m_slots[id] = Slot{};
    if (!m_lost) Send(lock, false);
}

}  // namespace kinetra::force
