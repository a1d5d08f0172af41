// Screenshots from the screen itself: what the user would see, taken with GDI
// from the desktop's device context.
#pragma once

#include <windows.h>

#include <string>

#include "png_writer.h"

namespace robot {

// Copies the screen rectangle into image; false if the rectangle is empty or
// GDI fails. Parts outside the screen come back black.
bool CaptureScreenRect(const RECT& rect, RgbImage* image);

// The window's whole rectangle (frame included) as it shows on the screen;
// false if window is not a window.
bool CaptureWindow(HWND window, RgbImage* image);

// The primary screen.
bool CaptureScreen(RgbImage* image);

// Captures window (or the screen for a null window) and writes a PNG file.
bool SaveScreenshot(HWND window, const std::string& path);

// Where test programs keep their screenshots: the folder "screenshots" beside
// the folder of the running program (build/bin -> build/screenshots), created
// if missing; file_name appended.
std::string ScreenshotPath(const std::string& file_name);

}  // namespace robot
