// The window robot: finds top-level windows, reads their controls, presses
// their buttons and closes them, in this process or another one. Every wait
// is bounded by a timeout; texts are read with WM_GETTEXT under a timeout, so
// a hung window yields an empty text instead of a hung robot.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace robot {

constexpr DWORD kDefaultPollMs = 20;
constexpr DWORD kMessageTimeoutMs = 5000;
constexpr char kDialogClass[] = "#32770";  // message boxes and dialogs
constexpr char kButtonClass[] = "Button";
constexpr char kStaticClass[] = "Static";

// Which top-level windows to look for. Unset fields match anything; set texts
// match exactly (case and blanks included).
struct WindowQuery {
    std::optional<std::string> caption;
    std::optional<std::string> class_name;
    DWORD process_id = 0;  // 0: any process
    bool visible_only = true;
};

bool Matches(HWND window, const WindowQuery& query);

// All matching top-level windows, topmost first.
std::vector<HWND> FindWindows(const WindowQuery& query);

// Polls until a matching window exists or timeout_ms has passed; the first
// match, or nullptr.
HWND WaitForWindow(const WindowQuery& query, DWORD timeout_ms, DWORD poll_ms = kDefaultPollMs);

struct ChildWindow {
    HWND hwnd = nullptr;
    int id = 0;
    std::string class_name;
    std::string text;
    LONG style = 0;
    bool visible = false;
};

struct WindowInfo {
    HWND hwnd = nullptr;
    std::string caption;
    std::string class_name;
    HWND owner = nullptr;
    LONG style = 0;
    LONG ex_style = 0;
    DWORD process_id = 0;
    RECT rect = {};
    std::vector<ChildWindow> children;  // direct children, in child order

    // Texts of the visible static controls that have one (an icon has none).
    std::vector<std::string> StaticTexts() const;
    // Texts of the visible buttons, in child order.
    std::vector<std::string> ButtonTexts() const;
};

// The window's text, read with WM_GETTEXT (works across threads and processes).
std::string ReadText(HWND window);
std::string ReadClassName(HWND window);

// Reads the window and its direct children; false if window is not a window.
bool ReadWindow(HWND window, WindowInfo* info);

// Every descendant of window (children, their children, ...), parents before
// their children.
std::vector<ChildWindow> ReadDescendants(HWND window);

// Replaces the text of a control (an edit box, say) with WM_SETTEXT, as
// typing it would leave it.
bool SetControlText(HWND control, const std::string& text);

// The entries of a list box control, in list order.
std::vector<std::string> ReadListEntries(HWND list);

// Selects entry index of a list box (LB_SETCURSEL), as a click on it would;
// false when the list has no such entry.
bool SelectListEntry(HWND list, int index);

// Mouse messages at client point (x, y) of window, posted as the mouse
// would send them: a move there, and a left click (move, press, release).
// The window's own handlers see them; nothing moves the real pointer.
bool MoveMouse(HWND window, int x, int y);
bool ClickAt(HWND window, int x, int y);
bool PressAt(HWND window, int x, int y);
bool ReleaseAt(HWND window, int x, int y);

// A fast double click as the mouse sends it to a window whose class takes
// double clicks: press, release, the double-click press, release.
bool DoubleClickAt(HWND window, int x, int y);

// The window that has the keyboard focus in window's thread, or window itself
// when none has.
HWND FocusOf(HWND window);

// Keys posted to FocusOf(window) as the keyboard sends them: a key pressed
// and released (WM_KEYDOWN, WM_KEYUP; with alt, WM_SYSKEYDOWN and WM_SYSKEYUP
// with the Alt bit set), and text as its characters (WM_CHAR). The program's
// own message loop sees them, the dialog manager's keyboard included.
bool PressKey(HWND window, UINT virtual_key, bool alt = false);
bool TypeText(HWND window, const std::string& text);

// Presses the visible, enabled button whose text is text (an '&' marking the
// access key may be left out) by posting its WM_COMMAND to window, as a click
// would. False if no such button exists.
bool PressButton(HWND window, const std::string& text);

// Presses the first visible, enabled button, whatever its text.
bool PressFirstButton(HWND window);

// Asks the window to close, as its close box would (WM_CLOSE).
bool RequestClose(HWND window);

// Text with line breaks, tabs, backslashes and other control characters
// written as C escapes, for one-line output.
std::string Escape(const std::string& text);

}  // namespace robot
