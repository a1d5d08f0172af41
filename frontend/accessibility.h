// The skinned window for assistive technology: an IAccessible for its client
// area, handed out on WM_GETOBJECT, whose children are the skin's elements
// in reading order (push buttons and check boxes, named by their tooltips,
// with their disabled, checked, focused, hot and pressed states), the four
// lines of the information panel and the status line (static texts with
// their values). Its calls arrive on the user-interface thread, which enters
// a single-threaded COM apartment on the first request; the accessibility
// and COM libraries are loaded then, not at start-up.
#pragma once

#include <windows.h>

// WM_GETOBJECT: the result for a request of the client's object, or 0 to
// leave the message to the system.
LRESULT AccessibleObjectResult(HWND window, WPARAM wParam, LPARAM lParam);

// Tell assistive technology that an element took the keyboard focus, or that
// its state changed (toggled, enabled, disabled).
void NotifyFocus(HWND window, int index);
void NotifyStateChange(HWND window, int index);

// The message accDoDefaultAction posts to the window: wParam is the element.
constexpr UINT kAccessibleActionMessage = WM_APP + 1;
