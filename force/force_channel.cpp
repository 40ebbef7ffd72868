#include "force/force_channel.h"

#include "force/force_units.h"
#include "force/ond_library.h"

COndMouse* CForceChannel::s_pDevice = nullptr;
std::int32_t CForceChannel::s_nChannels = 0;
void* CForceChannel::s_pOwnerInstance = nullptr;
void* CForceChannel::s_pOwnerWindow = nullptr;

namespace {
constexpr std::uint32_t kSharedDeviceFlags = 8;
constexpr std::uint32_t kErrorHandlingFlags = 1;
}  // namespace

void CForceChannel::SetOwner(void* instance, void* window) {
    s_pOwnerInstance = instance;
    s_pOwnerWindow = window;
}

CForceChannel::CForceChannel() {
    m_pEffect = nullptr;
    CHXCErrors::m_dwErrHandlingFlags = kErrorHandlingFlags;
    s_nChannels += 1;
    if (s_pDevice == nullptr) {
        COndMouse* device = new COndMouse();
        if (device->Initialize(s_pOwnerInstance, s_pOwnerWindow, kSharedDeviceFlags, true) == 0) {
            delete device;
        } else {
            s_pDevice = device;
        }
    }
}

CForceChannel::~CForceChannel() {
    if (m_pEffect != nullptr) {
        delete m_pEffect;
        m_pEffect = nullptr;
    }
    if (s_pDevice != nullptr && s_nChannels == 1) {
        delete s_pDevice;
        s_pDevice = nullptr;
    }
    s_nChannels -= 1;
}

int CForceChannel::CreateEffect(std::uint32_t magnitude, std::uint32_t frequencyHz) {
    if (m_pEffect != nullptr || s_pDevice == nullptr) return 0;
    const std::uint32_t period = kinetra::force::CreationPeriodMs(frequencyHz);
    m_pEffect = new COndPeriodic(GUID_Ond_Sine);
    if (m_pEffect->Initialize(s_pDevice, magnitude, period, OND_INFINITE, 1, 0, 0, 0, nullptr, 0) ==
        0) {
        delete m_pEffect;
        m_pEffect = nullptr;
        return 0;
    }
    m_pEffect->Start(OND_UNCHANGED, 0, true);
    return 1;
}

int CForceChannel::ChangeParameters(std::uint32_t magnitude, std::uint32_t frequencyHz) {
    if (m_pEffect == nullptr) return 0;
    // A zero frequency has no period: the period stays and only the magnitude changes.
    const std::uint32_t period = kinetra::force::ChangePeriodMs(frequencyHz);
    return m_pEffect->ChangeParameters(
        magnitude, period, OND_UNCHANGED, static_cast<std::int32_t>(OND_UNCHANGED),
        static_cast<std::int32_t>(OND_UNCHANGED), static_cast<std::int32_t>(OND_UNCHANGED),
        OND_UNCHANGED, OND_ENVELOPE_UNCHANGED);
}

int CForceChannel::ChangeGain(std::uint32_t gain) {
    if (m_pEffect == nullptr) return 0;
    return m_pEffect->ChangeGain(gain);
}

int CForceChannel::Start() {
    if (m_pEffect == nullptr) return 0;
    return m_pEffect->Start(OND_UNCHANGED, 0, true);
}

int CForceChannel::Stop() {
    if (m_pEffect == nullptr) return 0;
    return m_pEffect->Stop();
}

int CForceChannel::GetDeviceProductName(char* buffer, std::uint32_t size) {
    if (s_pDevice == nullptr) return 0;
    s_pDevice->GetProductName(buffer, size);
    return 1;
}
