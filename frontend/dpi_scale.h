// The skin set of the main window: the DPI of the monitor or window, read
// through the per-monitor calls where the system has them (bound at run
// time: Windows before 8.1 and 10 lacks them), and the set's scale applied
// to the skin's coordinates, which the code writes at 100 percent.
#pragma once

#include <windows.h>

#include <cstdint>

// The DPI of a monitor (GetDpiForMonitor, from Windows 8.1), else that of
// window (GetDpiForWindow, from Windows 10), else the system's.
UINT MonitorDpi(HMONITOR monitor, HWND window);
UINT WindowDpi(HWND window);

// A coordinate of the skin at 100 percent, in pixels of the set on screen
// (FrontEnd.skinPercent).
int32_t SkinPx(int32_t value);

// A 100 percent bitmap resource id, in the set on screen.
int SkinBitmapId(int id);
