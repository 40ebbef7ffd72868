#include "win32/main_dialog.h"

#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "force/ond_library.h"
#include "platform/debug_output.h"
#include "platform/device_arrival.h"
#include "win32/resource.h"
#include "window/band_texts.h"

namespace {

using kinetra::win32::Utf8;
using kinetra::win32::Wide;
using kinetra::window::MainWindow;
using kinetra::window::MenuItem;
using kinetra::window::SliderMeter;

constexpr const char kWebAddress[] = "https://ondrel.example/";
constexpr const char kDesktopWindowClass[] = "Ondrel Desktop Window";
constexpr const char kDesktopWarning[] = "Please exit Ondrel Kinetra Desktop before proceeding.";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Kinetra";
// Height of the status line's strip below the documented area, in dialog units, and of the
// warning's row below it while there is a problem.
// The status line's two rows: the input on the first, the device and the hint on the second.
constexpr int kStatusTop = 147;
constexpr int kStatusRow = 10;
constexpr int kStatusHeight = 2 * kStatusRow + 2;
constexpr int kProblemHeight = 11;
// The status line's parts' controls, in the order of WindowView::StatusPart.
constexpr int kStatusIds[] = {IDC_STATUS_INPUT, IDC_STATUS_DEVICE, IDC_STATUS_HINT};
// The bands' captions: in the free row between the Disable boxes and the help text, each
// centred under its band's Disable box (dialog units, as the template's controls).
constexpr int kCaptionY = 108;
constexpr int kCaptionHeight = 8;
constexpr int kCaptionWidth = 44;
constexpr int kCaptionX[5] = {86, 132, 178, 224, 270};
const COLORREF kProblemColour = RGB(0xC0, 0x30, 0x10);

constexpr UINT WM_APP_CLOSE = WM_APP + 1;
constexpr UINT WM_APP_TRAY = WM_APP + 2;
constexpr UINT WM_APP_HIDE = WM_APP + 3;
// Ids of the right-click and tray menus' entries (the About command keeps its own, 0x0010).
constexpr UINT kFirstMenuCommand = 0x100;
enum : UINT {
    kTrayPause = 0x80,
    kTrayShow,
    kTrayCloseToTray,
    kTrayStartMinimised,
    kTrayStartAtLogin,
    kTrayQuit,
};

const COLORREF kStrongColour = RGB(255, 160, 0);
constexpr int kTrackWidth = 8;
constexpr int kLampMargin = 3;

}  // namespace

CVibrelDlg::CVibrelDlg() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_hIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_hSmallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0));
    MakeBehaviour(m_timers, m_boxes, m_store, m_help, m_testSound);
}

CVibrelDlg::~CVibrelDlg() {
    // The teardown, while the controls it reads are still there.
    m_window.reset();
    if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
    if (m_linkFont != nullptr) DeleteObject(m_linkFont);
    if (m_captionFont != nullptr) DeleteObject(m_captionFont);
    if (m_hIcon != nullptr) DestroyIcon(m_hIcon);
    if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
}

int CVibrelDlg::DoModal() {
    m_hWnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                &CVibrelDlg::DialogProc, reinterpret_cast<LPARAM>(this));
    if (m_hWnd == nullptr) {
        std::fprintf(stderr, "kinetra: the main window could not be created\n");
        return 1;
    }
    if (!m_window->QuitRequested()) {
        ArmAutomation();
        MSG message;
        while (!m_closing && GetMessageW(&message, nullptr, 0, 0) > 0) {
            // Enter and Escape never close the window, whichever of its controls has the focus.
            if (message.message == WM_KEYDOWN &&
                (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE) &&
                (message.hwnd == m_hWnd || IsChild(m_hWnd, message.hwnd))) {
                continue;
            }
            if (!IsDialogMessageW(m_hWnd, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    m_window->OnDestroy();
    if (m_trayShown) SetTrayIcon(NIM_DELETE);
    if (m_deviceNotify != nullptr) UnregisterDeviceNotification(m_deviceNotify);
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return m_window->QuitRequested() ? m_window->QuitCode() : 0;
}

// An unattended run saves a picture of the window and closes it after its time.
void CVibrelDlg::ArmAutomation() {
    const kinetra::win32::Automation& automation = kinetra::win32::CurrentAutomation();
    if (automation.screenshot.empty() && !automation.quit) return;
    static std::unique_ptr<kinetra::window::Timer> timer;
    timer = m_timers.MakeTimer(true, [this, automation] {
        if (!automation.screenshot.empty()) {
            RedrawWindow(m_hWnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_ERASE);
            if (!kinetra::win32::SaveWindowPicture(m_hWnd, automation.screenshot)) {
                kinetra::DebugOutput("SCREENSHOT: could not save the picture\n");
                std::fprintf(stderr, "kinetra: could not save the picture %s\n",
                             automation.screenshot.c_str());
            }
        }
        if (automation.quit) PostMessageW(m_hWnd, WM_APP_CLOSE, 0, 0);
    });
    timer->Start(automation.quit ? automation.quitAfterMs : 2000);
}

INT_PTR CALLBACK CVibrelDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CVibrelDlg*>(lParam);
        self->m_hWnd = dialog;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CVibrelDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

// ---------------------------------------------------------------------------------------------
// Start-up

void CVibrelDlg::AddStatusLine() {
    RECT strip = {0, 0, 0, kStatusHeight};
    MapDialogRect(m_hWnd, &strip);
    RECT window{};
    GetWindowRect(m_hWnd, &window);
    SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top + strip.bottom, SWP_NOMOVE | SWP_NOZORDER);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    // The input's text has the first row to itself; the device's name shares the second with
    // the hint. A text too long for its place loses its middle, so that both ends stay readable.
    static const RECT kPlaces[3] = {
        {7, kStatusTop, 313, kStatusTop + 8},
        {7, kStatusTop + kStatusRow, 241, kStatusTop + kStatusRow + 8},
        {245, kStatusTop + kStatusRow, 313, kStatusTop + kStatusRow + 8}};
    static const DWORD kEllipsis[3] = {SS_PATHELLIPSIS, SS_PATHELLIPSIS, SS_ENDELLIPSIS};
    for (int i = 0; i < kStatusParts; ++i) {
        RECT place = kPlaces[i];
        MapDialogRect(m_hWnd, &place);
        HWND part =
            CreateWindowExW(0, L"STATIC", Wide(m_status[i]).c_str(),
                            WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | kEllipsis[i], place.left,
                            place.top, place.right - place.left, place.bottom - place.top, m_hWnd,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusIds[i])),
                            GetModuleHandleW(nullptr), nullptr);
        SendMessageW(part, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    GetWindowRect(m_hWnd, &window);
    m_baseHeight = window.bottom - window.top;
    RECT row = {0, 0, 0, kProblemHeight};
    MapDialogRect(m_hWnd, &row);
    m_problemRowHeight = row.bottom;

    // The warning's row, hidden until there is a problem: the system's warning icon and the
    // problem in a colour of its own; clicking either shows the details.
    const int iconSize = GetSystemMetrics(SM_CYSMICON);
    RECT place = {7, kStatusTop + kStatusHeight - 2, 7 + 300,
                  kStatusTop + kStatusHeight - 2 + kProblemHeight};
    MapDialogRect(m_hWnd, &place);
    m_warningIcon =
        static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(32515) /* IDI_WARNING */,
                                      IMAGE_ICON, iconSize, iconSize, LR_SHARED));
    HWND icon = CreateWindowExW(
        0, L"STATIC", nullptr, WS_CHILD | SS_ICON | SS_REALSIZECONTROL | SS_NOTIFY, place.left,
        place.top, iconSize, iconSize, m_hWnd, reinterpret_cast<HMENU>(IDC_STATUS_PROBLEM_ICON),
        GetModuleHandleW(nullptr), nullptr);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(m_warningIcon), 0);
    HWND text = CreateWindowExW(
        0, L"STATIC", L"", WS_CHILD | SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS | SS_NOTIFY,
        place.left + iconSize + 4, place.top + (iconSize - (place.bottom - place.top) + 1) / 2 + 1,
        place.right - place.left - iconSize - 4, place.bottom - place.top, m_hWnd,
        reinterpret_cast<HMENU>(IDC_STATUS_PROBLEM), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    AddTooltip(icon, "Click for the details");
    AddTooltip(text, "Click for the details");
    ShowProblemRow();
}

// Each band's caption under its Disable box, its edges in the tooltip.
void CVibrelDlg::AddBandCaptions() {
    LOGFONTW face{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)), sizeof face, &face);
    face.lfWeight = FW_BOLD;
    m_captionFont = CreateFontIndirectW(&face);
    for (int band = 1; band <= kBands; ++band) {
        RECT place = {kCaptionX[band - 1], kCaptionY, kCaptionX[band - 1] + kCaptionWidth,
                      kCaptionY + kCaptionHeight};
        MapDialogRect(m_hWnd, &place);
        HWND caption = CreateWindowExW(
            0, L"STATIC", Wide(kinetra::window::BandCaption(band)).c_str(),
            WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX | SS_NOTIFY, place.left, place.top,
            place.right - place.left, place.bottom - place.top, m_hWnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_BAND_CAPTION1 + band - 1)),
            GetModuleHandleW(nullptr), nullptr);
        SendMessageW(caption, WM_SETFONT, reinterpret_cast<WPARAM>(m_captionFont), FALSE);
        AddTooltip(caption, kinetra::window::BandCaptionLabel(band));
    }
}

void CVibrelDlg::AddTooltip(HWND control, const std::string& text) {
    if (m_tooltips == nullptr) {
        m_tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                     WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    }
    if (m_tooltips == nullptr) return;
    std::wstring wide = Wide(text);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_hWnd;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = wide.data();  // copied by the control
    SendMessageW(m_tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CVibrelDlg::ShowProblemRow() {
    if (m_hWnd == nullptr || m_baseHeight == 0) return;
    const bool shown = !m_problem.empty();
    SetDlgItemTextW(m_hWnd, IDC_STATUS_PROBLEM, Wide(m_problem).c_str());
    for (int id : {IDC_STATUS_PROBLEM_ICON, IDC_STATUS_PROBLEM}) {
        ShowWindow(GetDlgItem(m_hWnd, id), shown ? SW_SHOWNA : SW_HIDE);
    }
    RECT window{};
    GetWindowRect(m_hWnd, &window);
    const int height = m_baseHeight + (shown ? m_problemRowHeight : 0);
    if (window.bottom - window.top != height) {
        SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CVibrelDlg::OnProblemClicked() {
    if (m_problem.empty()) return;
    // Copies: the box's loop may bring another problem, or none.
    const std::string text = m_problem;
    const std::string detail = m_problemDetail;
    m_boxes.ShowMessage(text, kinetra::window::kErrorCaption,
                        kinetra::window::MessageIcon::kExclamation, detail);
}

// The help text grows upwards, to just below the Disable boxes at most, when the font needs
// more lines than its place holds.
void CVibrelDlg::FitHelpText() {
    HWND text = nullptr;
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetWindowTextLengthW(child) > 40 && GetDlgCtrlID(child) == -1) text = child;
    }
    if (text == nullptr) return;
    RECT place{};
    GetWindowRect(text, &place);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    wchar_t content[128] = {};
    GetWindowTextW(text, content, 128);
    HDC dc = GetDC(text);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0)));
    RECT needed = {0, 0, place.right - place.left, 0};
    DrawTextW(dc, content, -1, &needed, DT_CALCRECT | DT_WORDBREAK);
    SelectObject(dc, old);
    ReleaseDC(text, dc);
    RECT limit = {0, kCaptionY + kCaptionHeight, 0, 0};  // below the bands' captions
    MapDialogRect(m_hWnd, &limit);
    const int height = needed.bottom - needed.top;
    if (height <= place.bottom - place.top) return;
    const int top = std::max(static_cast<int>(limit.top), static_cast<int>(place.bottom) - height);
    SetWindowPos(text, nullptr, place.left, top, place.right - place.left, place.bottom - top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CVibrelDlg::OnInitDialog() {
    // The About command at the end of the system menu.
    if (HMENU system = GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t text[128] = {};
        if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 128) > 0) {
            AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(system, MF_STRING, IDM_ABOUTBOX, text);
        }
    }
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    // The link: underlined, in the link colour (WM_CTLCOLORSTATIC).
    LOGFONTW face{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)), sizeof face, &face);
    face.lfUnderline = TRUE;
    m_linkFont = CreateFontIndirectW(&face);
    SendDlgItemMessageW(m_hWnd, IDC_WEB_LINK, WM_SETFONT, reinterpret_cast<WPARAM>(m_linkFont),
                        FALSE);
    AddStatusLine();
    AddBandCaptions();
    FitHelpText();
    for (int slider = 0; slider <= kBands; ++slider) {
        SendMessageW(Slider(slider), TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        SendMessageW(Slider(slider), TBM_SETPAGESIZE, 0, 20);
    }
    SendMessageW(Slider(MainWindow::kStrength), TBM_SETTICFREQ, 10, 0);
    m_boxes.SetOwner(m_hWnd);
    // Word of plugged-in devices (WM_DEVICECHANGE) for a force device to come back on.
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    m_deviceNotify = RegisterDeviceNotificationW(
        m_hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);

    const bool started = m_window->OnInitDialog();
    if (started) {
        SetTrayIcon(NIM_ADD);
        if (m_trayShown && m_tray.StartMinimised()) PostMessageW(m_hWnd, WM_APP_HIDE, 0, 0);
    }
    // The focus goes to the first slider rather than the link; its mark shows once the keyboard
    // is used, as in every dialog.
    SetFocus(Slider(1));
    SendMessageW(m_hWnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
    return FALSE;
}

// ---------------------------------------------------------------------------------------------
// Messages

INT_PTR CVibrelDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id >= IDC_DISABLE1 && id <= IDC_DISABLE5 && code == BN_CLICKED) {
                m_window->OnDisable(id - IDC_DISABLE1 + 1);
            } else if (id == IDC_LOCKED && code == BN_CLICKED) {
                m_window->OnLocked();
            } else if (id == IDC_TEST && code == BN_CLICKED) {
                m_window->OnTest();
            } else if (id == IDC_HELP_BUTTON && code == BN_CLICKED) {
                m_window->OnHelpButton();
            } else if (id == IDC_WEB_LINK && code == STN_CLICKED) {
                ShellExecuteA(nullptr, "open", kWebAddress, nullptr, nullptr, SW_SHOWNORMAL);
            } else if ((id == IDC_STATUS_PROBLEM || id == IDC_STATUS_PROBLEM_ICON) &&
                       code == STN_CLICKED) {
                OnProblemClicked();
            }
            return TRUE;  // IDOK and IDCANCEL end nothing
        }
        case WM_VSCROLL: {
            const int slider = SliderOf(reinterpret_cast<HWND>(lParam));
            if (slider >= 0) m_window->OnVScroll(LOWORD(wParam), slider);
            return TRUE;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            const int slider = SliderOf(header->hwndFrom);
            if (slider < 0) return FALSE;
            if (header->code == NM_RELEASEDCAPTURE) {
                if (slider == MainWindow::kStrength) {
                    m_window->OnReleasedStrength();
                } else {
                    m_window->OnReleasedLevel(slider);
                }
                return TRUE;
            }
            if (header->code == NM_CUSTOMDRAW) {
                SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, OnCustomDraw(header));
                return TRUE;
            }
            return FALSE;
        }
        case WM_CTLCOLORSTATIC: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id == IDC_WEB_LINK || id == IDC_STATUS_PROBLEM) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, id == IDC_WEB_LINK ? RGB(0, 0, 204) : kProblemColour);
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
            return FALSE;
        }
        case WM_SETCURSOR:
            if (const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
                id == IDC_WEB_LINK || id == IDC_STATUS_PROBLEM || id == IDC_STATUS_PROBLEM_ICON) {
                SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /* IDC_HAND */));
                SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_CONTEXTMENU: {
            POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (lParam == -1) {  // from the keyboard: at the window's centre
                RECT window{};
                GetWindowRect(m_hWnd, &window);
                at = {(window.left + window.right) / 2, (window.top + window.bottom) / 2};
            }
            OnContextMenu(at);
            return TRUE;
        }
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                OnSysCommand(static_cast<UINT>(wParam));
                SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
                return TRUE;
            }
            return FALSE;
        case WM_DEVICECHANGE:
            if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVNODES_CHANGED) {
                kinetra::NoteDeviceArrival();
            }
            return TRUE;
        case WM_HELP:
            m_window->OnHelpContents();
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_hIcon);
        case WM_CLOSE:
            if (m_trayShown && m_tray.CloseToTray()) {
                HideToTray(true);
            } else {
                m_closing = true;
            }
            return TRUE;
        case WM_APP_CLOSE:
            m_closing = true;
            return TRUE;
        case WM_APP_HIDE:
            HideToTray(true);
            return TRUE;
        case WM_APP_TRAY:
            OnTrayMessage(lParam);
            return TRUE;
        case WM_ENDSESSION:
            // The session ends: the settings are saved now, as the teardown may not run.
            if (wParam) m_window->CommitSettings();
            return TRUE;
        default:
            return FALSE;
    }
}

void CVibrelDlg::OnSysCommand(UINT id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        DialogBoxParamW(
            GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), m_hWnd,
            [](HWND box, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
                if (message == WM_INITDIALOG) return TRUE;
                if (message == WM_COMMAND &&
                    (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
                    EndDialog(box, LOWORD(wParam));
                    return TRUE;
                }
                return FALSE;
            },
            0);
    }
}

// ---------------------------------------------------------------------------------------------
// The meters in the trackbars' grooves

int CVibrelDlg::MeterGeometry::YOf(double position) const {
    return top + static_cast<int>(std::clamp(position, 0.0, 100.0) * span / 100.0 + 0.5);
}

CVibrelDlg::MeterGeometry CVibrelDlg::GeometryOf(HWND trackbar) {
    MeterGeometry g;
    RECT channel{};
    SendMessageW(trackbar, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    // Windows gives a vertical trackbar's channel as if it lay horizontally.
    if (channel.right - channel.left > channel.bottom - channel.top) {
        channel = {channel.top, channel.left, channel.bottom, channel.right};
    }
    SendMessageW(trackbar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&g.thumb));
    const int thumbLength = g.thumb.bottom - g.thumb.top;
    g.top = channel.top + thumbLength / 2;
    g.span = std::max(1, static_cast<int>(channel.bottom - channel.top) - thumbLength);
    const int x = (channel.left + channel.right) / 2 - kTrackWidth / 2;
    g.track = {x, g.YOf(0), x + kTrackWidth, g.YOf(100) + 1};
    return g;
}

LRESULT CVibrelDlg::OnCustomDraw(NMHDR* header) {
    auto* draw = reinterpret_cast<NMCUSTOMDRAW*>(header);
    if (draw->dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw->dwDrawStage != CDDS_ITEMPREPAINT || draw->dwItemSpec != TBCD_THUMB) {
        return CDRF_DODEFAULT;
    }
    // Before the thumb: the meter over the channel, then the lamp around the thumb.
    const int slider = SliderOf(header->hwndFrom);
    const SliderMeter& meter = m_meter[slider];
    if (meter.look == SliderMeter::Look::kNone) return CDRF_DODEFAULT;
    HDC dc = draw->hdc;
    const MeterGeometry geometry = GeometryOf(header->hwndFrom);
    const RECT& thumb = geometry.thumb;
    auto yOf = [&geometry](double position) { return geometry.YOf(position); };
    const RECT track = geometry.track;
    const int saved = SaveDC(dc);
    switch (meter.look) {
        case SliderMeter::Look::kBandOff: {
            HBRUSH hatch = CreateHatchBrush(HS_BDIAGONAL, GetSysColor(COLOR_BTNTEXT));
            SelectObject(dc, GetStockObject(DC_PEN));
            SetDCPenColor(dc, GetSysColor(COLOR_BTNSHADOW));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            SelectObject(dc, hatch);
            Rectangle(dc, track.left, track.top, track.right, track.bottom);
            RestoreDC(dc, saved);
            DeleteObject(hatch);
            return CDRF_DODEFAULT;
        }
        case SliderMeter::Look::kNoSignal: {
            HPEN dashes = CreatePen(PS_DOT, 1, GetSysColor(COLOR_BTNTEXT));
            SelectObject(dc, dashes);
            SelectObject(dc, GetStockObject(NULL_BRUSH));
            SetBkMode(dc, TRANSPARENT);
            Rectangle(dc, track.left, track.top, track.right, track.bottom);
            RestoreDC(dc, saved);
            DeleteObject(dashes);
            return CDRF_DODEFAULT;
        }
        case SliderMeter::Look::kLive: {
            SelectObject(dc, GetStockObject(DC_PEN));
            SetDCPenColor(dc, GetSysColor(COLOR_BTNSHADOW));
            SelectObject(dc, GetSysColorBrush(COLOR_WINDOW));
            Rectangle(dc, track.left, track.top, track.right, track.bottom);
            const int from = yOf(meter.from);
            const int to = yOf(meter.to);
            const int mark = meter.mark < 0 ? to : yOf(meter.mark);
            if (std::min(to, mark) > from) {
                const RECT part = {track.left + 1, from, track.right - 1, std::min(to, mark)};
                FillRect(dc, &part, GetSysColorBrush(COLOR_HIGHLIGHT));
            }
            if (to > mark) {
                SetDCBrushColor(dc, kStrongColour);
                const RECT part = {track.left + 1, std::max(from, mark), track.right - 1, to};
                FillRect(dc, &part, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
            }
            if (meter.lit) {
                SelectObject(dc, GetStockObject(NULL_PEN));
                SelectObject(dc, GetStockObject(DC_BRUSH));
                SetDCBrushColor(dc, kStrongColour);
                RoundRect(dc, thumb.left - kLampMargin, thumb.top - kLampMargin,
                          thumb.right + kLampMargin, thumb.bottom + kLampMargin, 6, 6);
            }
            break;
        }
        case SliderMeter::Look::kNone:
            break;
    }
    RestoreDC(dc, saved);
    return CDRF_DODEFAULT;
}

// ---------------------------------------------------------------------------------------------
// The right-click menu

namespace {

HMENU BuildMenu(const std::vector<MenuItem>& items, std::vector<std::string>* commands) {
    HMENU menu = CreatePopupMenu();
    for (const MenuItem& item : items) {
        if (item.kind == MenuItem::Kind::kSeparator) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING | (item.enabled ? 0 : MF_GRAYED) | (item.checked ? MF_CHECKED : 0);
        if (item.kind == MenuItem::Kind::kSubmenu) {
            HMENU sub = BuildMenu(item.items, commands);
            AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub),
                        Wide(item.text).c_str());
            continue;
        }
        commands->push_back(item.command);
        AppendMenuW(menu, flags, kFirstMenuCommand + commands->size() - 1, Wide(item.text).c_str());
    }
    return menu;
}

}  // namespace

void CVibrelDlg::OnContextMenu(POINT at) {
    m_menuCommands.clear();
    HMENU menu = BuildMenu(m_window->ContextMenu(), &m_menuCommands);
    wchar_t about[128] = {};
    LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, m_hWnd, nullptr));
    DestroyMenu(menu);
    // The command runs after the menu has closed.
    if (chosen == IDM_ABOUTBOX) {
        OnSysCommand(chosen);
    } else if (chosen >= kFirstMenuCommand && chosen - kFirstMenuCommand < m_menuCommands.size()) {
        m_window->RunMenuCommand(m_menuCommands[chosen - kFirstMenuCommand]);
    }
}

// ---------------------------------------------------------------------------------------------
// The notification-area icon

void CVibrelDlg::SetTrayIcon(DWORD action) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_hWnd;
    data.uID = 1;
    data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    data.uCallbackMessage = WM_APP_TRAY;
    data.hIcon = m_hSmallIcon;
    wcsncpy(data.szTip, L"Ondrel Kinetra Entertainment", ARRAYSIZE(data.szTip) - 1);
    const bool done = Shell_NotifyIconW(action, &data) != FALSE;
    if (action == NIM_ADD) m_trayShown = done;
    if (action == NIM_DELETE) m_trayShown = false;
}

void CVibrelDlg::HideToTray(bool hidden) {
    m_hidden = hidden;
    ShowWindow(m_hWnd, hidden ? SW_HIDE : SW_SHOW);
    if (!hidden) SetForegroundWindow(m_hWnd);
}

void CVibrelDlg::OnTrayMessage(LPARAM lParam) {
    if (lParam == WM_LBUTTONDBLCLK) HideToTray(!m_hidden);
    if (lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU) ShowTrayMenu();
}

void CVibrelDlg::SetStartAtLogin(bool on) {
    m_tray.SetStartAtLogin(on);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (on) {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        const std::wstring command = L"\"" + std::wstring(path) + L"\"";
        RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(key, kRunValue);
    }
    RegCloseKey(key);
}

void CVibrelDlg::ShowTrayMenu() {
    HMENU menu = CreatePopupMenu();
    const bool paused = m_window->EffectsPaused();
    AppendMenuW(menu, MF_STRING, kTrayPause, paused ? L"Resume" : L"Pause");
    AppendMenuW(menu, MF_STRING, kTrayShow, m_hidden ? L"Show" : L"Hide");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | (m_tray.CloseToTray() ? MF_CHECKED : 0), kTrayCloseToTray,
                L"Close to tray");
    AppendMenuW(menu, MF_STRING | (m_tray.StartMinimised() ? MF_CHECKED : 0), kTrayStartMinimised,
                L"Start minimised");
    AppendMenuW(menu, MF_STRING | (m_tray.StartAtLogin() ? MF_CHECKED : 0), kTrayStartAtLogin,
                L"Start at login");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kTrayQuit, L"Quit");
    POINT at{};
    GetCursorPos(&at);
    // The menu closes when the user clicks elsewhere only while the window is in front.
    SetForegroundWindow(m_hWnd);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, m_hWnd, nullptr));
    DestroyMenu(menu);
    switch (chosen) {
        case kTrayPause:
            m_window->PauseEffects(!paused);
            break;
        case kTrayShow:
            HideToTray(!m_hidden);
            break;
        case kTrayCloseToTray:
            m_tray.SetCloseToTray(!m_tray.CloseToTray());
            break;
        case kTrayStartMinimised:
            m_tray.SetStartMinimised(!m_tray.StartMinimised());
            break;
        case kTrayStartAtLogin:
            SetStartAtLogin(!m_tray.StartAtLogin());
            break;
        case kTrayQuit:
            m_closing = true;
            PostMessageW(m_hWnd, WM_NULL, 0, 0);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// The controls, for the behaviour

HWND CVibrelDlg::Slider(int slider) const {
    return GetDlgItem(m_hWnd,
                      slider == MainWindow::kStrength ? IDC_STRENGTH : IDC_LEVEL1 + slider - 1);
}

int CVibrelDlg::SliderOf(HWND trackbar) const {
    const int id = GetDlgCtrlID(trackbar);
    if (id == IDC_STRENGTH) return MainWindow::kStrength;
    if (id >= IDC_LEVEL1 && id <= IDC_LEVEL5) return id - IDC_LEVEL1 + 1;
    return -1;
}

int CVibrelDlg::SliderPosition(int slider) const {
    return static_cast<int>(SendMessageW(Slider(slider), TBM_GETPOS, 0, 0));
}

void CVibrelDlg::SetSliderPosition(int slider, int position) {
    SendMessageW(Slider(slider), TBM_SETPOS, TRUE, std::clamp(position, 0, 100));
}

void CVibrelDlg::SetLevelEnabled(int band, bool enabled) {
    EnableWindow(Slider(band), enabled);
}

void CVibrelDlg::SetLevelTicks(int band, bool shown) {
    if (shown) {
        SendMessageW(Slider(band), TBM_SETTICFREQ, 10, 0);
    } else {
        // Automatic tick marks follow the frequency: one past the range leaves none between
        // the ends.
        SendMessageW(Slider(band), TBM_SETTICFREQ, 1000, 0);
        SendMessageW(Slider(band), TBM_CLEARTICS, TRUE, 0);
    }
}

bool CVibrelDlg::DisableChecked(int band) const {
    return IsDlgButtonChecked(m_hWnd, IDC_DISABLE1 + band - 1) == BST_CHECKED;
}

bool CVibrelDlg::LockedChecked() const {
    return IsDlgButtonChecked(m_hWnd, IDC_LOCKED) == BST_CHECKED;
}

void CVibrelDlg::SetLockedChecked(bool checked) {
    CheckDlgButton(m_hWnd, IDC_LOCKED, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CVibrelDlg::CloseLater() {
    if (m_hWnd != nullptr) PostMessageW(m_hWnd, WM_APP_CLOSE, 0, 0);
}

void CVibrelDlg::SetStatusText(StatusPart part, const std::string& text) {
    m_status[part] = text;
    if (m_hWnd != nullptr) SetDlgItemTextW(m_hWnd, kStatusIds[part], Wide(text).c_str());
}

void CVibrelDlg::SetProblem(const std::string& text, const std::string& detail) {
    if (text == m_problem && detail == m_problemDetail) return;
    m_problem = text;
    m_problemDetail = detail;
    ShowProblemRow();
}

void CVibrelDlg::SetSliderMeter(int slider, const SliderMeter& meter) {
    if (m_meter[slider] == meter) return;
    m_meter[slider] = meter;
    SliderMeter& drawn = m_drawn[slider];
    HWND trackbar = m_hWnd != nullptr ? Slider(slider) : nullptr;
    if (trackbar == nullptr || !IsWindowVisible(trackbar)) {
        drawn = meter;  // drawn whole when shown
        return;
    }
    // Only what the change moves on screen is drawn again: the rows between where the track's
    // ends and mark were and are, and the lamp. An end that stays on its pixel row is not drawn
    // again: the meter on screen (drawn) keeps it until it moves further.
    const MeterGeometry geometry = GeometryOf(trackbar);
    if (!EqualRect(&geometry.thumb, &m_thumbDrawn[slider])) {
        // The thumb moved since (and its lamp with it): the whole groove.
        m_thumbDrawn[slider] = geometry.thumb;
        drawn = meter;
        InvalidateRect(trackbar, nullptr, TRUE);
        return;
    }
    const kinetra::window::MeterRedraw redraw = kinetra::window::MeterChangeOnRows(
        &drawn, meter, [&geometry](double p) { return geometry.YOf(p); });
    if (redraw.track) {
        const RECT rows = {geometry.track.left - 1, geometry.YOf(redraw.top) - 1,
                           geometry.track.right + 1, geometry.YOf(redraw.bottom) + 2};
        InvalidateRect(trackbar, &rows, TRUE);
    }
    if (redraw.lamp) {
        const int margin = kLampMargin + 1;
        const RECT lamp = {geometry.thumb.left - margin, geometry.thumb.top - margin,
                           geometry.thumb.right + margin, geometry.thumb.bottom + margin};
        InvalidateRect(trackbar, &lamp, TRUE);
    }
}

void CVibrelDlg::CheckDesktopProgram() {
    if (FindWindowA(kDesktopWindowClass, nullptr) == nullptr) return;
    COndMouse probe;
    if (probe.Initialize(OwnerInstance(), OwnerWindow(), OND_INIT_QUERY, true) == 0) return;
    char name[256] = {};
    probe.GetProductName(name, sizeof name);
    name[sizeof name - 1] = '\0';
    if (std::strstr(name, "iFeel") == nullptr) {
        m_boxes.ShowMessage(kDesktopWarning, kinetra::window::kErrorCaption,
                            kinetra::window::MessageIcon::kExclamation, "");
    }
}

void* CVibrelDlg::OwnerInstance() {
    return GetModuleHandleW(nullptr);
}

void* CVibrelDlg::OwnerWindow() {
    return m_hWnd;
}
