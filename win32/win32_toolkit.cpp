#include "win32/win32_toolkit.h"

#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <vector>

#include "platform/parse_int.h"
#include "win32/resource.h"

namespace kinetra::win32 {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
    return utf8;
}

std::string BesideProgram(const std::string& name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return Utf8((std::filesystem::path(path).parent_path() / Wide(name)).wstring());
}

// ---------------------------------------------------------------------------------------------
// The unattended run

namespace {

Automation& TheAutomation() {
    static Automation automation;
    return automation;
}

}  // namespace

bool ReadAutomation(Automation* automation, std::string* error) {
    *automation = Automation{};
    if (const char* text = std::getenv("KINETRA_QUIT_AFTER_MS")) {
        std::int32_t value = 0;
        std::string problem;
        if (!ParseInt32(text, 0, std::numeric_limits<std::int32_t>::max(), &value, &problem)) {
            *error = "KINETRA_QUIT_AFTER_MS: " + problem;
            return false;
        }
        automation->quit = true;
        automation->quitAfterMs = value;
    }
    if (const char* path = std::getenv("KINETRA_SCREENSHOT")) automation->screenshot = path;
    return true;
}

void SetAutomation(const Automation& automation) {
    TheAutomation() = automation;
}

const Automation& CurrentAutomation() {
    return TheAutomation();
}

// ---------------------------------------------------------------------------------------------
// Pictures

namespace {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    static const auto table = [] {
        std::vector<std::uint32_t> t(256);
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBe(std::vector<std::uint8_t>* out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<std::uint8_t>(v >> shift));
}

void PutChunk(std::vector<std::uint8_t>* png, const char* type,
              const std::vector<std::uint8_t>& data) {
    PutBe(png, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png->insert(png->end(), body.begin(), body.end());
    PutBe(png, Crc32(body.data(), body.size()));
}

// rows: height rows of width RGB triples, each led by its filter byte (0).
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rows) {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBe(&header, static_cast<std::uint32_t>(width));
    PutBe(&header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB
    PutChunk(&png, "IHDR", header);
    // A zlib stream of stored deflate blocks.
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : rows) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < rows.size() || at == 0;) {
        const std::size_t n = std::min<std::size_t>(65535, rows.size() - at);
        const bool last = at + n == rows.size();
        z.push_back(last ? 1 : 0);
        z.insert(z.end(), {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                           static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)});
        z.insert(z.end(), rows.begin() + static_cast<std::ptrdiff_t>(at),
                 rows.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        if (last) break;
    }
    PutBe(&z, (b << 16) | a);
    PutChunk(&png, "IDAT", z);
    PutChunk(&png, "IEND", {});
    return png;
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::string& path) {
    RECT client{};
    if (!GetClientRect(window, &client)) return false;
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = bitmap != nullptr;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        // What the screen shows; a window that is covered or off-screen draws itself instead.
        ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) ||
             PrintWindow(window, memory, PW_CLIENTONLY);
        GdiFlush();
        SelectObject(memory, old);
    }
    std::vector<std::uint8_t> rows;
    if (ok) {
        const auto* pixels = static_cast<const std::uint8_t*>(bits);
        rows.reserve(static_cast<std::size_t>(height) * (1 + 3 * width));
        for (int y = 0; y < height; ++y) {
            rows.push_back(0);
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = pixels + (static_cast<std::size_t>(y) * width + x) * 4;
                rows.insert(rows.end(), {p[2], p[1], p[0]});
            }
        }
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    if (!ok) return false;
    const std::vector<std::uint8_t> png = EncodePng(width, height, rows);
    FILE* file = _wfopen(Wide(path).c_str(), L"wb");
    if (file == nullptr) return false;
    ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && ok;
}

// ---------------------------------------------------------------------------------------------
// Timers

namespace {

class Win32Timer;
std::map<UINT_PTR, Win32Timer*>& RunningTimers() {
    static std::map<UINT_PTR, Win32Timer*> timers;
    return timers;
}

class Win32Timer final : public window::Timer {
public:
    Win32Timer(bool singleShot, std::function<void()> onTimeout)
        : m_singleShot(singleShot), m_onTimeout(std::move(onTimeout)) {}
    ~Win32Timer() override { Stop(); }

    void Start(int ms) override {
        Stop();
        m_interval = ms;
        m_id = SetTimer(nullptr, 0,
                        static_cast<UINT>(ms < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : ms),
                        &Win32Timer::Fired);
        if (m_id != 0) RunningTimers()[m_id] = this;
    }
    void Stop() override {
        if (m_id == 0) return;
        KillTimer(nullptr, m_id);
        RunningTimers().erase(m_id);
        m_id = 0;
    }
    bool Active() const override { return m_id != 0; }
    int IntervalMs() const override { return m_interval; }

private:
    static void CALLBACK Fired(HWND, UINT, UINT_PTR id, DWORD) {
        const auto found = RunningTimers().find(id);
        if (found == RunningTimers().end()) return;
        Win32Timer* timer = found->second;
        if (timer->m_singleShot) timer->Stop();
        // The callback may stop or destroy this timer: nothing of it is used afterwards.
        const std::function<void()> onTimeout = timer->m_onTimeout;
        onTimeout();
    }

    bool m_singleShot;
    std::function<void()> m_onTimeout;
    UINT_PTR m_id = 0;
    int m_interval = 0;
};

}  // namespace

std::unique_ptr<window::Timer> Win32Timers::MakeTimer(bool singleShot,
                                                      std::function<void()> onTimeout) {
    return std::make_unique<Win32Timer>(singleShot, std::move(onTimeout));
}

std::int64_t Win32Timers::NowMs() const {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::int64_t>(now.QuadPart * 1000 / frequency.QuadPart);
}

// ---------------------------------------------------------------------------------------------
// Boxes

namespace {

BOOL CALLBACK CloseBox(HWND window, LPARAM owner) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (window != reinterpret_cast<HWND>(owner) && std::wstring(name) == L"#32770") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        // A yes-or-no box has no Close: it is answered No.
        PostMessageW(window, WM_COMMAND, IDNO, 0);
    }
    return TRUE;
}

void CALLBACK CloseBoxesLater(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    EnumThreadWindows(GetCurrentThreadId(), &CloseBox, 0);
}

// In an unattended run, the box about to open closes after the run's time.
void ArmUnattendedClose() {
    const Automation& automation = CurrentAutomation();
    if (automation.quit) {
        SetTimer(nullptr, 0, static_cast<UINT>(std::max(automation.quitAfterMs, 10)),
                 &CloseBoxesLater);
    }
}

struct AskState {
    std::wstring title, label, text;
};

INT_PTR CALLBACK AskProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<AskState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            state = reinterpret_cast<AskState*>(lParam);
            SetWindowTextW(dialog, state->title.c_str());
            SetDlgItemTextW(dialog, IDC_ASK_LABEL, state->label.c_str());
            SetDlgItemTextW(dialog, IDC_ASK_TEXT, state->text.c_str());
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                wchar_t text[256] = {};
                GetDlgItemTextW(dialog, IDC_ASK_TEXT, text, 256);
                state->text = text;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

void Win32MessageBoxes::ShowMessage(const std::string& text, const std::string& caption,
                                    window::MessageIcon icon, const std::string& detail) {
    std::string body = text;
    if (!detail.empty()) body += "\n\n" + detail;
    std::fprintf(stderr, "kinetra: %s\n", body.c_str());
    ArmUnattendedClose();
    MessageBoxW(m_owner != nullptr && IsWindowVisible(m_owner) ? m_owner : nullptr,
                Wide(body).c_str(), Wide(caption).c_str(),
                icon == window::MessageIcon::kError ? MB_ICONERROR : MB_ICONEXCLAMATION);
}

bool Win32MessageBoxes::AskText(const std::string& title, const std::string& label,
                                std::string* text) {
    AskState state{Wide(title), Wide(label), Wide(*text)};
    ArmUnattendedClose();
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ASKTEXT), m_owner, &AskProc,
                        reinterpret_cast<LPARAM>(&state)) != IDOK) {
        return false;
    }
    *text = Utf8(state.text);
    return true;
}

bool Win32MessageBoxes::AskYesNo(const std::string& title, const std::string& question) {
    ArmUnattendedClose();
    return MessageBoxW(m_owner, Wide(question).c_str(), Wide(title).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

std::string Win32MessageBoxes::AskSoundFile() {
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_owner;
    dialog.lpstrFilter = L"WAV sound files (*.wav)\0*.wav\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameW(&dialog) ? Utf8(path) : std::string();
}

// ---------------------------------------------------------------------------------------------
// Help and the test sound

bool HelpViewer::OpenDocument(const std::string& /*relativePath*/, const std::string& fragment) {
    const std::string chm = BesideProgram("Vibrel.chm");
    if (GetFileAttributesW(Wide(chm).c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    char command[512];
    if (fragment.empty()) {
        std::snprintf(command, sizeof command, "\"%s\"", chm.c_str());
    } else {
        std::snprintf(command, sizeof command, "-mapid %d \"%s\"", 1006, chm.c_str());
    }
    ShellExecuteA(nullptr, nullptr, "hh.exe", command, nullptr, SW_SHOWNORMAL);
    return true;
}

void TestSound::PlayTestSound() {
    const std::string path = BesideProgram("test.wav");
    PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC);
}

void TestSound::StopTestSound() {
    PlaySoundA(nullptr, nullptr, 0);
}

}  // namespace kinetra::win32
