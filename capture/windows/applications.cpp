// The applications that play on Windows: the audio sessions of the default output, each with
// its process's executable, for the window's Input → Applications menu. The system is asked on a
// thread of its own (COM's multithreaded apartment), so that the asking thread waits at most
// the time it gives; an answer that comes later is dropped.
#include <audioclient.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "capture/audio_applications.h"
#include "capture/windows/application_sessions.h"
#include "capture/windows/process_loopback.h"

namespace kinetra::capture {

namespace {

template <typename T>
void Release(T*& p) {
    if (p != nullptr) p->Release();
    p = nullptr;
}

std::string Utf8(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(bytes - 1));
    return out;
}

std::string Failed(const char* call, HRESULT hr) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "the default output's applications cannot be listed (%s: 0x%08lX)", call,
                  static_cast<unsigned long>(hr));
    return text;
}

// The full path of processId's executable ("" when it cannot be read), and false when the
// process has ended.
bool ProcessImage(DWORD processId, std::string* path) {
    path->clear();
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return true;  // not ours to look at: listed by its session's name
    DWORD code = 0;
    const bool running = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    wchar_t image[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (running && QueryFullProcessImageNameW(process, 0, image, &size)) *path = Utf8(image);
    CloseHandle(process);
    return running;
}

// One session as an application; false when it is not one (the system sounds, an expired
// session, an ended process).
bool SessionApplication(IAudioSessionControl* session, AudioApplicationInfo* app) {
    IAudioSessionControl2* control = nullptr;
    if (FAILED(session->QueryInterface(__uuidof(IAudioSessionControl2),
                                       reinterpret_cast<void**>(&control)))) {
        return false;
    }
    AudioSessionState state = AudioSessionStateExpired;
    DWORD processId = 0;
    bool listed = control->IsSystemSoundsSession() != S_OK &&
                  SUCCEEDED(control->GetState(&state)) && state != AudioSessionStateExpired &&
                  SUCCEEDED(control->GetProcessId(&processId)) && processId != 0;
    std::string path;
    if (listed) listed = ProcessImage(processId, &path);
    if (listed) {
        LPWSTR display = nullptr;
        std::string name;
        if (SUCCEEDED(control->GetDisplayName(&display))) name = Utf8(display);
        CoTaskMemFree(display);
        *app = ApplicationOfSession(processId, name, path, state == AudioSessionStateActive);
    }
    Release(control);
    return listed;
}

struct Listing {
    std::mutex lock;
    std::condition_variable answered;
    bool done = false;
    AudioApplicationList list;
};

}  // namespace

bool ListAudioSessions(std::vector<AudioApplicationInfo>* sessions, std::string* error) {
    IMMDeviceEnumerator* devices = nullptr;
    IMMDevice* output = nullptr;
    IAudioSessionManager2* manager = nullptr;
    IAudioSessionEnumerator* listed = nullptr;
    const char* call = "MMDeviceEnumerator";
    HRESULT hr =
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                         __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&devices));
    if (SUCCEEDED(hr)) {
        call = "GetDefaultAudioEndpoint";
        hr = devices->GetDefaultAudioEndpoint(eRender, eConsole, &output);
    }
    if (SUCCEEDED(hr)) {
        call = "IAudioSessionManager2";
        hr = output->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr,
                              reinterpret_cast<void**>(&manager));
    }
    if (SUCCEEDED(hr)) {
        call = "GetSessionEnumerator";
        hr = manager->GetSessionEnumerator(&listed);
    }
    int count = 0;
    if (SUCCEEDED(hr)) {
        call = "GetCount";
        hr = listed->GetCount(&count);
    }
    for (int i = 0; SUCCEEDED(hr) && i < count; ++i) {
        IAudioSessionControl* session = nullptr;
        if (FAILED(listed->GetSession(i, &session))) continue;
        AudioApplicationInfo app;
        if (SessionApplication(session, &app)) sessions->push_back(std::move(app));
        Release(session);
    }
    Release(listed);
    Release(manager);
    Release(output);
    Release(devices);
    if (FAILED(hr)) *error = Failed(call, hr);
    return SUCCEEDED(hr);
}

AudioApplicationList ListAudioApplications(int timeoutMs) {
    auto listing = std::make_shared<Listing>();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // The asker may be gone when the answer comes: the listing lives as long as either needs it.
    std::thread([listing, deadline] {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        AudioApplicationList list;
        std::string error;
        const bool sessions = ListAudioSessions(&list.applications, &error);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        list.unsupported = ProcessLoopbackProblem(
            static_cast<DWORD>(std::max<long long>(0, static_cast<long long>(left.count()))));
        if (list.unsupported.empty() && !sessions) list.unsupported = error;
        list.serverAnswered = true;  // the system's audio engine, which always runs
        if (SUCCEEDED(com)) CoUninitialize();
        const std::lock_guard<std::mutex> held(listing->lock);
        listing->list = std::move(list);
        listing->done = true;
        listing->answered.notify_all();
    }).detach();
    std::unique_lock<std::mutex> held(listing->lock);
    if (!listing->answered.wait_until(held, deadline, [&] { return listing->done; })) return {};
    return std::move(listing->list);
}

}  // namespace kinetra::capture
