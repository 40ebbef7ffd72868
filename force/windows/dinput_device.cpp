// DirectInput 8 devices with force feedback: enumerated among the attached game controllers,
// opened in exclusive background mode on a hidden window of their own (force feedback needs
// exclusive access, and the library is not handed the program's window), auto-centring off, and
// each effect a GUID_Sine effect on the X and Y axes.
#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>
#include <windows.h>

#include <map>

#include "force/windows/windows_devices.h"

namespace kinetra::force {
namespace {

IDirectInput8W* TheDirectInput() {
    static IDirectInput8W* input = [] {
        IDirectInput8W* created = nullptr;
        if (FAILED(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION,
                                      IID_IDirectInput8W, reinterpret_cast<void**>(&created),
                                      nullptr))) {
            return static_cast<IDirectInput8W*>(nullptr);
        }
        return created;
    }();
    return input;
}

std::string Narrow(const wchar_t* text) {
    char buffer[MAX_PATH] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, MAX_PATH, nullptr, nullptr);
    return buffer;
}

struct Found {
    std::string name;
    GUID instance{};
};

BOOL CALLBACK AddDevice(const DIDEVICEINSTANCEW* device, void* context) {
    static_cast<std::vector<Found>*>(context)->push_back(
        {Narrow(device->tszProductName), device->guidInstance});
    return DIENUM_CONTINUE;
}

std::vector<Found> FindDevices() {
    std::vector<Found> found;
    if (IDirectInput8W* input = TheDirectInput()) {
        input->EnumDevices(DI8DEVCLASS_GAMECTRL, &AddDevice, &found,
                           DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
    }
    return found;
}

class ComDevice final : public DirectInputDevice {
public:
    ComDevice(IDirectInputDevice8W* device, HWND window, std::string name)
        : m_device(device), m_window(window), m_name(std::move(name)) {}
    ~ComDevice() override {
        for (auto& [id, effect] : m_effects) effect->Release();
        m_device->Unacquire();
        m_device->Release();
        DestroyWindow(m_window);
    }

    std::string ProductName() const override { return m_name; }

    std::int32_t CreateSine(const DirectInputSine& sine, int* id) override {
        Parameters p(sine);
        IDirectInputEffect* effect = nullptr;
        const HRESULT hr = m_device->CreateEffect(GUID_Sine, &p.effect, &effect, nullptr);
        if (FAILED(hr)) return hr;
        *id = m_next++;
        m_effects[*id] = effect;
        return S_OK;
    }
    std::int32_t SetSine(int id, const DirectInputSine& sine) override {
        Parameters p(sine);
        return Effect(id)->SetParameters(&p.effect, DIEP_TYPESPECIFICPARAMS | DIEP_DURATION |
                                                        DIEP_GAIN | DIEP_DIRECTION | DIEP_ENVELOPE |
                                                        DIEP_TRIGGERBUTTON);
    }
    std::int32_t Start(int id, std::uint32_t iterations) override {
        return Effect(id)->Start(iterations, 0);
    }
    std::int32_t Stop(int id) override { return Effect(id)->Stop(); }
    void Release(int id) override {
        const auto found = m_effects.find(id);
        if (found == m_effects.end()) return;
        found->second->Release();
        m_effects.erase(found);
    }
    std::int32_t Reacquire() override { return m_device->Acquire(); }

private:
    // DIEFFECT and its parts for one sine.
    struct Parameters {
        explicit Parameters(const DirectInputSine& sine) {
            periodic = {sine.magnitude, sine.offset, sine.phase, sine.periodUs};
            envelope = {sizeof envelope, sine.attackLevel, sine.attackUs, sine.fadeLevel,
                        sine.fadeUs};
            direction[0] = sine.directionX;
            direction[1] = sine.directionY;
            effect.dwSize = sizeof effect;
            effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
            effect.dwDuration = sine.durationUs;
            effect.dwGain = sine.gain;
            effect.dwTriggerButton = sine.triggerButton == 0xFFFFFFFFu
                                         ? DIEB_NOTRIGGER
                                         : DIJOFS_BUTTON(sine.triggerButton);
            effect.cAxes = 2;
            effect.rgdwAxes = axes;
            effect.rglDirection = direction;
            effect.lpEnvelope = sine.attackUs == 0 && sine.fadeUs == 0 ? nullptr : &envelope;
            effect.cbTypeSpecificParams = sizeof periodic;
            effect.lpvTypeSpecificParams = &periodic;
        }
        DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
        LONG direction[2] = {};
        DIPERIODIC periodic{};
        DIENVELOPE envelope{};
        DIEFFECT effect{};
    };

    IDirectInputEffect* Effect(int id) { return m_effects.at(id); }

    IDirectInputDevice8W* m_device;
    HWND m_window;
    std::string m_name;
    std::map<int, IDirectInputEffect*> m_effects;
    int m_next = 0;
};

}  // namespace

std::vector<std::string> DirectInputForceDevices() {
    std::vector<std::string> names;
    for (const Found& device : FindDevices()) names.push_back(device.name);
    return names;
}

std::unique_ptr<DirectInputDevice> OpenDirectInputDevice(int index, const std::string& name,
                                                         std::string* error) {
    const std::vector<Found> devices = FindDevices();
    const Found* chosen = nullptr;
    for (std::size_t i = 0; i < devices.size() && chosen == nullptr; ++i) {
        if ((index >= 0 && static_cast<std::size_t>(index) == i) ||
            (index < 0 && (name.empty() || devices[i].name == name))) {
            chosen = &devices[i];
        }
    }
    if (chosen == nullptr) {
        *error = devices.empty() ? "DirectInput finds no force-feedback device"
                                 : "DirectInput has no such force-feedback device";
        return nullptr;
    }
    IDirectInputDevice8W* device = nullptr;
    HRESULT hr = TheDirectInput()->CreateDevice(chosen->instance, &device, nullptr);
    if (FAILED(hr)) {
        *error = "DirectInput cannot open " + chosen->name;
        return nullptr;
    }
    HWND window = CreateWindowExW(0, L"STATIC", L"Kinetra force feedback", WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    DIPROPDWORD autoCentre{};
    autoCentre.diph.dwSize = sizeof autoCentre;
    autoCentre.diph.dwHeaderSize = sizeof autoCentre.diph;
    autoCentre.diph.dwHow = DIPH_DEVICE;
    autoCentre.dwData = DIPROPAUTOCENTER_OFF;
    hr = device->SetDataFormat(&c_dfDIJoystick);
    if (SUCCEEDED(hr)) hr = device->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_BACKGROUND);
    if (SUCCEEDED(hr)) device->SetProperty(DIPROP_AUTOCENTER, &autoCentre.diph);
    if (SUCCEEDED(hr)) hr = device->Acquire();
    if (FAILED(hr)) {
        device->Release();
        DestroyWindow(window);
        *error = "DirectInput cannot take " + chosen->name + " for force feedback";
        return nullptr;
    }
    return std::make_unique<ComDevice>(device, window, chosen->name);
}

}  // namespace kinetra::force
