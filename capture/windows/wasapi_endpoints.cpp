// The inputs the Input menu offers on Windows: the active capture endpoints as WASAPI names them
// (IMMDeviceEnumerator, eCapture, the friendly name), with the default input's and the default
// output's names. A chosen endpoint is captured through DirectSound, which lists the same
// devices under the same names (dsound_capture.cpp opens a device by its description).
#include <mmdeviceapi.h>
#include <propidl.h>
#include <windows.h>

#include <string>

#include "capture/backends/backend_table.h"

namespace kinetra::capture {
namespace {

// PKEY_Device_FriendlyName, {a45c254e-df1c-4efd-8020-67d146a850e0} 14.
const PROPERTYKEY kFriendlyName = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

std::string Utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), n, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(n - 1));
    return utf8;
}

std::string FriendlyName(IMMDevice* device) {
    std::string name;
    IPropertyStore* properties = nullptr;
    if (device == nullptr || FAILED(device->OpenPropertyStore(STGM_READ, &properties))) return name;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(properties->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR) {
        name = Utf8(value.pwszVal);
    }
    PropVariantClear(&value);
    properties->Release();
    return name;
}

std::string DefaultEndpointName(IMMDeviceEnumerator* devices, EDataFlow flow) {
    IMMDevice* device = nullptr;
    if (FAILED(devices->GetDefaultAudioEndpoint(flow, eConsole, &device))) return {};
    std::string name = FriendlyName(device);
    device->Release();
    return name;
}

}  // namespace

// The system's audio engine always answers; without an endpoint enumerator the list is empty.
AudioSourceList ListPulseSources(int) {
    AudioSourceList list;
    list.serverAnswered = true;
    // COM stays initialised on the user-interface thread for the rest of the run.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IMMDeviceEnumerator* devices = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&devices)))) {
        return list;
    }
    IMMDeviceCollection* endpoints = nullptr;
    UINT count = 0;
    if (SUCCEEDED(devices->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &endpoints)) &&
        SUCCEEDED(endpoints->GetCount(&count))) {
        for (UINT i = 0; i < count; ++i) {
            IMMDevice* endpoint = nullptr;
            if (FAILED(endpoints->Item(i, &endpoint))) continue;
            const std::string name = FriendlyName(endpoint);
            endpoint->Release();
            if (name.empty()) continue;
            // A name that would read as another input is marked as a device's name.
            const AudioInputChoice parsed = ParseAudioInput(name);
            const std::string id = parsed.kind == AudioInputKind::kNamed && parsed.value == name
                                       ? name
                                       : "pulse:" + name;
            list.sources.push_back({id, name, name.rfind("Monitor of ", 0) == 0});
        }
    }
    if (endpoints != nullptr) endpoints->Release();
    list.defaultInputDescription = DefaultEndpointName(devices, eCapture);
    list.defaultOutputDescription = DefaultEndpointName(devices, eRender);
    devices->Release();
    return list;
}

}  // namespace kinetra::capture
