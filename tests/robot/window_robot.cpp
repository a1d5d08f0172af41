#include "window_robot.h"

#include <algorithm>
#include <cstdio>

namespace robot {
namespace {

bool SendWithTimeout(HWND window, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result) {
    return SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kMessageTimeoutMs, result) != 0;
}

std::string WithoutAccessMarks(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;  // "&&" stands for one '&'
        plain += text[i];
    }
    return plain;
}

bool IsPressable(const ChildWindow& child) {
    return child.class_name == kButtonClass && child.visible && IsWindowEnabled(child.hwnd);
}

bool PostCommand(HWND window, const ChildWindow& button) {
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(button.id, BN_CLICKED), LPARAM(button.hwnd)) != 0;
}

struct EnumState {
    const WindowQuery* query;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectMatch(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    if (Matches(window, *state->query)) state->found->push_back(window);
    return TRUE;
}

ChildWindow ReadChild(HWND child) {
    ChildWindow entry;
    entry.hwnd = child;
    entry.id = GetDlgCtrlID(child);
    entry.class_name = ReadClassName(child);
    entry.text = ReadText(child);
    entry.style = GetWindowLongA(child, GWL_STYLE);
    entry.visible = (entry.style & WS_VISIBLE) != 0;
    return entry;
}

BOOL CALLBACK CollectDescendant(HWND child, LPARAM param) {
    reinterpret_cast<std::vector<ChildWindow>*>(param)->push_back(ReadChild(child));
    return TRUE;
}

}  // namespace

std::string ReadText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0, &length)) return {};
    // WM_GETTEXTLENGTH may overstate (ANSI/Unicode conversion), never understate.
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendWithTimeout(window, WM_GETTEXT, text.size(), LPARAM(&text[0]), &copied)) return {};
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::string ReadClassName(HWND window) {
    char name[256];
    const int length = GetClassNameA(window, name, sizeof name);
    return length > 0 ? std::string(name, size_t(length)) : std::string();
}

bool Matches(HWND window, const WindowQuery& query) {
    if (query.visible_only && !IsWindowVisible(window)) return false;
    if (query.process_id != 0) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != query.process_id) return false;
    }
    if (query.class_name && ReadClassName(window) != *query.class_name) return false;
    if (query.caption && ReadText(window) != *query.caption) return false;
    return true;
}

std::vector<HWND> FindWindows(const WindowQuery& query) {
    std::vector<HWND> found;
    EnumState state{&query, &found};
    EnumWindows(CollectMatch, reinterpret_cast<LPARAM>(&state));
    return found;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeout_ms, DWORD poll_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        const std::vector<HWND> found = FindWindows(query);
        if (!found.empty()) return found.front();
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return nullptr;
        Sleep(DWORD(std::min<ULONGLONG>(poll_ms, deadline - now)));
    }
}

std::vector<std::string> WindowInfo::StaticTexts() const {
    std::vector<std::string> texts;
    for (const ChildWindow& child : children) {
        if (child.class_name == kStaticClass && child.visible && !child.text.empty()) texts.push_back(child.text);
    }
    return texts;
}

std::vector<std::string> WindowInfo::ButtonTexts() const {
    std::vector<std::string> texts;
    for (const ChildWindow& child : children) {
        if (child.class_name == kButtonClass && child.visible) texts.push_back(child.text);
    }
    return texts;
}

bool ReadWindow(HWND window, WindowInfo* info) {
    if (!IsWindow(window)) return false;
    WindowInfo read;
    read.hwnd = window;
    read.caption = ReadText(window);
    read.class_name = ReadClassName(window);
    read.owner = GetWindow(window, GW_OWNER);
    read.style = GetWindowLongA(window, GWL_STYLE);
    read.ex_style = GetWindowLongA(window, GWL_EXSTYLE);
    GetWindowThreadProcessId(window, &read.process_id);
    GetWindowRect(window, &read.rect);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        read.children.push_back(ReadChild(child));
    }
    *info = std::move(read);
    return true;
}

std::vector<ChildWindow> ReadDescendants(HWND window) {
    std::vector<ChildWindow> descendants;
    if (IsWindow(window)) EnumChildWindows(window, CollectDescendant, reinterpret_cast<LPARAM>(&descendants));
    return descendants;
}

bool SetControlText(HWND control, const std::string& text) {
    DWORD_PTR result = 0;
    return SendWithTimeout(control, WM_SETTEXT, 0, LPARAM(text.c_str()), &result) && result == TRUE;
}

std::vector<std::string> ReadListEntries(HWND list) {
    std::vector<std::string> entries;
    DWORD_PTR count = 0;
    if (!SendWithTimeout(list, LB_GETCOUNT, 0, 0, &count) || LONG_PTR(count) < 0) return entries;
    for (DWORD_PTR i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        if (!SendWithTimeout(list, LB_GETTEXTLEN, i, 0, &length) || LONG_PTR(length) < 0) break;
        std::string text(length + 1, '\0');
        DWORD_PTR copied = 0;
        if (!SendWithTimeout(list, LB_GETTEXT, i, LPARAM(&text[0]), &copied) || LONG_PTR(copied) < 0) break;
        text.resize(std::min<size_t>(copied, length));
        entries.push_back(text);
    }
    return entries;
}

bool SelectListEntry(HWND list, int index) {
    DWORD_PTR result = 0;
    return SendWithTimeout(list, LB_SETCURSEL, WPARAM(index), 0, &result) && LONG_PTR(result) == index;
}

bool MoveMouse(HWND window, int x, int y) {
    return PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)) != 0;
}

bool PressAt(HWND window, int x, int y) {
    return PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)) != 0;
}

bool ReleaseAt(HWND window, int x, int y) {
    return PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y)) != 0;
}

bool ClickAt(HWND window, int x, int y) {
    return MoveMouse(window, x, y) && PressAt(window, x, y) && ReleaseAt(window, x, y);
}

bool DoubleClickAt(HWND window, int x, int y) {
    return ClickAt(window, x, y) &&
           PostMessageA(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y)) != 0 && ReleaseAt(window, x, y);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (thread != 0 && GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr) return info.hwndFocus;
    return window;
}

bool PressKey(HWND window, UINT virtual_key, bool alt) {
    HWND target = FocusOf(window);
    const LPARAM scan = LPARAM(MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC) & 0xFF) << 16;
    const LPARAM alt_bit = alt ? LPARAM(1) << 29 : 0;
    const LPARAM up_bits = (LPARAM(1) << 30) | (LPARAM(1) << 31);
    const UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    const UINT up = alt ? WM_SYSKEYUP : WM_KEYUP;
    return PostMessageA(target, down, virtual_key, 1 | scan | alt_bit) != 0 &&
           PostMessageA(target, up, virtual_key, 1 | scan | alt_bit | up_bits) != 0;
}

bool TypeText(HWND window, const std::string& text) {
    HWND target = FocusOf(window);
    for (unsigned char c : text) {
        if (!PostMessageA(target, WM_CHAR, WPARAM(c), 1)) return false;
    }
    return true;
}

bool PressButton(HWND window, const std::string& text) {
    WindowInfo info;
    if (!ReadWindow(window, &info)) return false;
    for (const ChildWindow& child : info.children) {
        if (!IsPressable(child)) continue;
        if (child.text == text || WithoutAccessMarks(child.text) == WithoutAccessMarks(text)) {
            return PostCommand(window, child);
        }
    }
    return false;
}

bool PressFirstButton(HWND window) {
    WindowInfo info;
    if (!ReadWindow(window, &info)) return false;
    for (const ChildWindow& child : info.children) {
        if (IsPressable(child)) return PostCommand(window, child);
    }
    return false;
}

bool RequestClose(HWND window) {
    return IsWindow(window) && PostMessageA(window, WM_CLOSE, 0, 0) != 0;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += char(c);
            }
        }
    }
    return out;
}

}  // namespace robot
