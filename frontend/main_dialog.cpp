#include "main_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "about_dialog.h"
#include "accessibility.h"
#include "commands.h"
#include "dpi_scale.h"
#include "drawing.h"
#include "front_end.h"
#include "keyboard_focus.h"
#include "kestrom_resource.h"
#include "message_box.h"
#include "panel_lines.h"
#include "process_names.h"
#include "process_shutdown.h"
#include "progress_display.h"
#include "skin.h"
#include "skin_scale.h"
#include "window_placement.h"
#include "window_shape.h"

FrontEndState FrontEnd;

namespace {

constexpr char kWindowText[] = "Zorvik";
constexpr char kConsentText[] =
    "Zorvik will automatically terminate some programs, (such as Tunevox, etc..)\nDo you want to continue ?";
constexpr char kEngineFile[] = "Vossel.dll";

// The panel's fields end before column 345, the status box before 355.
constexpr int kPanelFieldRight = 345;
constexpr int kLogoX = 49;
constexpr int kLogoY = 34;
constexpr int kLogoFrameResources[kLogoFrameCount] = {205, 206, 207, 208, 209, 210, 211, 212, 204};

template <typename Function>
Function Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A function the engine or the driver lacks: no call is ever made through a
// null pointer; the program ends after saying which.
[[noreturn]] void MissingFunction(HWND owner, const char* module, const char* function) {
    char text[256];
    std::snprintf(text, sizeof text, "%s lacks the function \"%s\" !\nZorvik cannot run with it.", module, function);
    AfxShowMessageBox(owner, text, "ERROR", MB_OK);
    std::exit(1);
}

template <typename Function>
Function Require(HWND owner, HMODULE module, const char* moduleName, const char* name) {
    Function function = Bind<Function>(module, name);
    if (function == nullptr) MissingFunction(owner, moduleName, name);
    return function;
}

std::string ProgramDirectory() {
    char path[512] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, length < sizeof path ? length : 0);
    return dir.substr(0, dir.rfind('\\') + 1);
}

std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

// The power saver is paused without a question; its outcome changes nothing.
void PausePowerSaver(HWND owner) {
    char path[600];
    std::snprintf(path, sizeof path, "%sflash.dll", FrontEnd.programDir.c_str());
    HMODULE driver = LoadLibraryA(path);
    if (driver == nullptr) {
        AfxShowMessageBox(owner, "Load flash.dll failed !", "Error", MB_OK);
        return;
    }
    using SupportFn = int(__cdecl*)(unsigned char*, unsigned char*);
    using EnableFn = int(__cdecl*)(int);
    auto support = Require<SupportFn>(owner, driver, "flash.dll", "W_Support_ENL");
    auto enable = Require<EnableFn>(owner, driver, "flash.dll", "W_Enable_ENL");
    unsigned char present = 0;
    unsigned char active = 0;
    if (support(&present, &active) == 0) return;
    if (present != 0 && active != 0) enable(0);
}

}  // namespace

CKestromDlg::CKestromDlg() : CDialogEx(IDD_KESTROM_DIALOG) {
    icon_ = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

BOOL CKestromDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    HWND window = m_hWnd;
    if (HMENU menu = GetSystemMenu(window, FALSE)) {
        char about[64] = {};
        if (LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof about) > 0) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SendMessageA(window, WM_SETICON, ICON_BIG, LPARAM(icon_));
    SendMessageA(window, WM_SETICON, ICON_SMALL, LPARAM(icon_));
    FrontEnd.biosVendor = 0;
    InitCommonControls();

    FrontEnd.programDir = ProgramDirectory();
    SetCurrentDirectoryA(FrontEnd.programDir.c_str());
    SetWindowTextA(window, kWindowText);

    if (AfxShowMessageBox(window, kConsentText, "Message", MB_OKCANCEL | MB_ICONEXCLAMATION) == IDCANCEL) {
        EndDialog(1);
        return FALSE;
    }
    EnableDebugPrivilege(GetCurrentProcess());
    TerminateProcessesByName(vossel::kConflictingProgramNames, std::size(vossel::kConflictingProgramNames));

    FrontEnd.engine = LoadLibraryA(kEngineFile);
    if (FrontEnd.engine == nullptr) {
        AfxShowMessageBox(window, "Load library failed !", "ERROR", MB_OK);
        std::exit(1);
    }
    FrontEnd.Get_Flash_Info = Require<GetRecordFn>(window, FrontEnd.engine, kEngineFile, "Get_Flash_Info");
    FrontEnd.Get_Bios_Info = Require<GetRecordFn>(window, FrontEnd.engine, kEngineFile, "Get_Bios_Info");
    FrontEnd.SaveBIOS = Require<SaveBiosFn>(window, FrontEnd.engine, kEngineFile, "SaveBIOS");
    FrontEnd.Get_Progress_Status = Require<GetProgressFn>(window, FrontEnd.engine, kEngineFile, "Get_Progress_Status");
    FrontEnd.FlashBIOS = Require<FlashBiosFn>(window, FrontEnd.engine, kEngineFile, "FlashBIOS");

    PausePowerSaver(window);

    FrontEnd.Get_Flash_Info(&FrontEnd.flash, sizeof FrontEnd.flash);
    FrontEnd.Get_Bios_Info(&FrontEnd.bios, sizeof FrontEnd.bios);
    FrontEnd.flashTypeLine = FieldText(FrontEnd.flash.FlashType, sizeof FrontEnd.flash.FlashType);
    FrontEnd.flashSizeLine = FlashSizeText(FrontEnd.flash.FlashSize);
    FrontEnd.signOnLine = FieldText(FrontEnd.bios.SignOnMessage, sizeof FrontEnd.bios.SignOnMessage);
    FrontEnd.vendorLine = BiosVendorText(FrontEnd.bios.BiosType);
    FrontEnd.biosVendor = FrontEnd.bios.BiosType;

    FrontEnd.clearDmi = 0;
    FrontEnd.skipCmosDefault = 0;
    key_colour_ = vossel::kSkinKeyColour;
    tolerance_ = vossel::kSkinTolerance;
    // The window opens on the monitor that holds the cursor, in the skin set
    // nearest to that monitor's DPI, at the set's size: the dialog
    // template's size follows the dialog font, not the skin.
    POINT cursor = {};
    GetCursorPos(&cursor);
    HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
    FrontEnd.skinPercent = vossel::NearestSkinPercent(MonitorDpi(monitor, window));
    LoadSkinPictures();

    tooltip_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, window, nullptr, GetModuleHandleA(nullptr), nullptr);
    PlaceOnMonitor(monitor);
    if (tooltip_ == nullptr) return TRUE;
    BuildSkinElements(GetModuleHandleA(nullptr), FrontEnd.biosVendor);
    AddElementTools();
    SendMessageA(tooltip_, TTM_ACTIVATE, TRUE, 0);
    SetTimer(window, kLogoTimer, kLogoPeriodMs, nullptr);
    FrontEnd.progressStatus = 0;
    FrontEnd.progressPercent = 100;
    FrontEnd.busy = 0;
    SetFocus(window);
    return FALSE;
}

void CKestromDlg::LoadSkinPictures() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (skin_ != nullptr) DeleteObject(skin_);
    skin_ = LoadBitmapA(instance, MAKEINTRESOURCEA(SkinBitmapId(IDB_SKIN)));
    skin_info_ = BITMAP{};
    GetObjectA(skin_, sizeof skin_info_, &skin_info_);
    for (int i = 0; i < kLogoFrameCount; ++i) {
        if (FrontEnd.logoFrames[i] != nullptr) DeleteObject(FrontEnd.logoFrames[i]);
        FrontEnd.logoFrames[i] = LoadBitmapA(instance, MAKEINTRESOURCEA(SkinBitmapId(kLogoFrameResources[i])));
    }
}

void CKestromDlg::PlaceOnMonitor(HMONITOR monitor) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoA(monitor, &info)) work = info.rcWork;
    const vossel::WindowOrigin origin =
        vossel::CentredOrigin({work.left, work.top, work.right, work.bottom}, skin_info_.bmWidth, skin_info_.bmHeight);
    SetWindowPos(m_hWnd, nullptr, origin.x, origin.y, skin_info_.bmWidth, skin_info_.bmHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CKestromDlg::AddElementTools() {
    // The tools go and come back with each set, their rectangles with it.
    const LRESULT count = SendMessageA(tooltip_, TTM_GETTOOLCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        TOOLINFOA tool = {};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        if (!SendMessageA(tooltip_, TTM_ENUMTOOLSA, 0, LPARAM(&tool))) break;
        SendMessageA(tooltip_, TTM_DELTOOLA, 0, LPARAM(&tool));
    }
    for (int i = 0; i < FrontEnd.skin.count; ++i) {
        const SkinElement& element = FrontEnd.skin.elements[i];
        TOOLINFOA tool = {};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        // The tooltip control watches the window's mouse messages itself.
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = m_hWnd;
        tool.uId = 1;
        tool.rect = RECT{element.left, element.top, element.right, element.bottom};
        tool.lpszText = const_cast<char*>(element.name);
        SendMessageA(tooltip_, TTM_ADDTOOLA, 0, LPARAM(&tool));
    }
}

void CKestromDlg::OnDpiChanged(UINT dpi, const RECT* suggested) {
    const int percent = vossel::NearestSkinPercent(dpi);
    if (percent != FrontEnd.skinPercent) {
        FrontEnd.skinPercent = percent;
        LoadSkinPictures();
        LoadSkinElementSet();
    }
    // The system's suggestion keeps the window under the cursor; its size is
    // the dialog template's, so the skin's is taken instead. Without one the
    // window keeps its place.
    RECT place = {};
    if (suggested != nullptr) {
        place = *suggested;
    } else {
        GetWindowRect(m_hWnd, &place);
    }
    SetWindowPos(m_hWnd, nullptr, place.left, place.top, skin_info_.bmWidth, skin_info_.bmHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ApplySkinShape();
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void CKestromDlg::LoadSkinElementSet() {
    if (FrontEnd.skin.count == 0) return;
    LoadSkinSet(GetModuleHandleA(nullptr));
    if (tooltip_ != nullptr) AddElementTools();
}

void CKestromDlg::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    if (IsIconic(m_hWnd)) {
        RECT client;
        GetClientRect(m_hWnd, &client);
        const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, icon_);
    } else {
        PaintSkin(dc);
    }
    EndPaint(m_hWnd, &paint);
}

void CKestromDlg::ApplySkinShape() {
    // The shape comes from the skin on every paint and set change; the
    // window takes it when it differs from the one in force (taking an equal
    // one would only repaint the window once more).
    if (HRGN shape = WindowShapeFromSkin(skin_, key_colour_, tolerance_)) {
        if (region_ == nullptr || !EqualRgn(region_, shape)) {
            HRGN kept = CreateRectRgn(0, 0, 0, 0);
            CombineRgn(kept, shape, nullptr, RGN_COPY);
            if (region_ != nullptr) DeleteObject(region_);
            region_ = kept;
            SetWindowRgn(m_hWnd, shape, TRUE);  // the window owns shape from here on
        } else {
            DeleteObject(shape);
        }
    }
}

void CKestromDlg::PaintSkin(HDC dc) {
    ApplySkinShape();
    if (skin_dc_ == nullptr) skin_dc_ = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(skin_dc_, skin_);
    BitBlt(dc, 0, 0, skin_info_.bmWidth, skin_info_.bmHeight, skin_dc_, 0, 0, SRCCOPY);
    SelectObject(skin_dc_, old);

    const SkinElementTable& table = FrontEnd.skin;
    for (int i = 0; i < table.count; ++i) {
        const SkinElement& element = table.elements[i];
        if (element.pressed) {
            DrawElement(dc, i, Look::kHover);
        } else if (element.disabled) {
            if (IsWideButton(i) || IsCheckBox(i)) DrawElement(dc, i, Look::kDisabled);
        } else {
            DrawElement(dc, i, IdleLook(i));
        }
    }
    const COLORREF panel = vossel::kPanelBackground;
    DrawPanelText(m_hWnd, FrontEnd.flashTypeLine.c_str(), 156, 83, panel, kPanelFieldRight);
    DrawPanelText(m_hWnd, FrontEnd.flashSizeLine.c_str(), 156, 102, panel, kPanelFieldRight);
    DrawPanelText(m_hWnd, FrontEnd.signOnLine.c_str(), 156, 121, panel, kPanelFieldRight);
    DrawPanelText(m_hWnd, FrontEnd.vendorLine.c_str(), 156, 138, panel, kPanelFieldRight);
    DrawProgressBar(m_hWnd, vossel::PaintedPercentage(FrontEnd.progressStatus, FrontEnd.progressPercent));
    // While a command runs, its status line as the last tick drew it.
    if (CommandRunning()) DrawProgressFigures(m_hWnd);
}

void CKestromDlg::LogoTick() {
    HBITMAP frame = FrontEnd.logoFrames[FrontEnd.logoIndex];
    if (frame != nullptr) {
        HDC dc = GetDC(m_hWnd);
        const SIZE size = BitmapSize(frame);
        DrawPlain(dc, frame, SkinPx(kLogoX), SkinPx(kLogoY), size.cx, size.cy);
        ReleaseDC(m_hWnd, dc);
    }
    FrontEnd.logoIndex = (FrontEnd.logoIndex + 1) % kLogoFrameCount;
}

bool CKestromDlg::MayClose() { return MayEndProgram(m_hWnd); }

void CKestromDlg::OnCancel() {
    if (MayClose()) CDialogEx::OnCancel();
}

BOOL CKestromDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const int x = short(LOWORD(lParam));
    const int y = short(HIWORD(lParam));
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            // Owned by this window, which it disables while it shows; one at a time.
            if (!FrontEnd.aboutOpen) {
                FrontEnd.aboutOpen = true;
                CAboutDlg about(m_hWnd);
                about.DoModal();
                FrontEnd.aboutOpen = false;
            }
            *result = 0;
            return TRUE;
        }
        if ((wParam & 0xFFF0) == SC_CLOSE && !MayClose()) {
            *result = 0;
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        if (!MayClose()) {
            *result = 0;
            return TRUE;
        }
        return FALSE;
    case WM_QUERYENDSESSION:
        // Windows must not end the program in the middle of a write.
        *result = CommandRunning() ? FALSE : TRUE;
        return TRUE;
    case WM_DPICHANGED:
        // Moved to a monitor of another DPI, or the user changed its scale.
        OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        *result = 0;
        return TRUE;
    case WM_QUERYDRAGICON:
        *result = LRESULT(icon_);
        return TRUE;
    case WM_MOUSEMOVE: {
        // The hover look goes when the pointer leaves the window.
        TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, m_hWnd, 0};
        TrackMouseEvent(&track);
        MouseMoved(m_hWnd, tooltip_, x, y);
        return FALSE;
    }
    case WM_MOUSELEAVE:
        MouseMoved(m_hWnd, tooltip_, -1, -1);
        return FALSE;
    case WM_CAPTURECHANGED:
        CaptureLost(m_hWnd);
        return FALSE;
    case WM_ERASEBKGND:
        // The skin covers the whole window: no dialog grey before it.
        *result = 1;
        return TRUE;
    case WM_GETDLGCODE:
        // Every key comes to the skin's keyboard, Tab and Escape included.
        *result = DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
        return TRUE;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            OnCancel();
        } else if (!KeyPressed(m_hWnd, UINT(wParam))) {
            return FALSE;
        }
        *result = 0;
        return TRUE;
    case WM_SYSKEYDOWN:
        // Alt+F4 asks the window to close, as the close box does; the window
        // has no system menu for the system to do it.
        if (wParam == VK_F4) {
            OnCancel();
        } else if (!IsAccessKey(wParam) || !KeyPressed(m_hWnd, UINT(wParam))) {
            return FALSE;
        }
        *result = 0;
        return TRUE;
    case WM_SYSCHAR:
        // The access keys' characters: no system menu, no beep.
        if (!IsAccessKey(wParam)) return FALSE;
        *result = 0;
        return TRUE;
    case WM_GETOBJECT:
        *result = AccessibleObjectResult(m_hWnd, wParam, lParam);
        return *result != 0;
    case kAccessibleActionMessage:
        ActivateElement(m_hWnd, int(wParam));
        *result = 0;
        return TRUE;
    case WM_LBUTTONDBLCLK:
        // The second press of a fast double click counts as a press.
    case WM_LBUTTONDOWN:
        // A press beside the elements drags the window by its skin. One on an
        // element does not, disabled or not: the system's move loop would
        // take the button's release, and the keys meant for the window.
        if (!ButtonPressed(m_hWnd, x, y) && ElementAt(x, y) < 0) {
            PostMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(x, y));
        }
        return FALSE;
    case WM_LBUTTONUP: {
        const int command = ButtonReleased(m_hWnd, x, y);
        if (command >= 0) RunElementCommand(m_hWnd, command);
        return FALSE;
    }
    case WM_TIMER:
        if (wParam == kLogoTimer) LogoTick();
        if (wParam == kProgressTimer) ProgressTick(m_hWnd);
        *result = 0;
        return TRUE;
    default: return FALSE;
    }
}
