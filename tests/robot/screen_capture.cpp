#include "screen_capture.h"

#include <memory>
#include <type_traits>

#include "program_folder.h"

namespace robot {
namespace {

struct ScreenDcRelease {
    void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct MemoryDcDelete {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiObjectDelete {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using ScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcRelease>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDelete>;
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiObjectDelete>;

// Puts an object into a DC for one scope and puts the old one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    bool ok() const { return old_ != nullptr && old_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace

bool CaptureScreenRect(const RECT& rect, RgbImage* image) {
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;

    ScreenDc screen(GetDC(nullptr));
    if (!screen) return false;
    MemoryDc memory(CreateCompatibleDC(screen.get()));
    if (!memory) return false;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) return false;
    {
        SelectedObject selected(memory.get(), bitmap.get());
        if (!selected.ok()) return false;
        if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY | CAPTUREBLT)) {
            return false;
        }
        GdiFlush();
    }

    // The DIB holds blue, green, red, unused per pixel.
    image->width = unsigned(width);
    image->height = unsigned(height);
    image->rgb.resize(size_t(width) * height * 3);
    const uint8_t* from = static_cast<const uint8_t*>(bits);
    uint8_t* to = image->rgb.data();
    for (size_t i = 0, n = size_t(width) * height; i < n; ++i, from += 4, to += 3) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
    }
    return true;
}

bool CaptureWindow(HWND window, RgbImage* image) {
    RECT rect;
    if (!IsWindow(window) || !GetWindowRect(window, &rect)) return false;
    return CaptureScreenRect(rect, image);
}

bool CaptureScreen(RgbImage* image) {
    const RECT rect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return CaptureScreenRect(rect, image);
}

bool SaveScreenshot(HWND window, const std::string& path) {
    RgbImage image;
    const bool captured = window != nullptr ? CaptureWindow(window, &image) : CaptureScreen(&image);
    return captured && WritePngFile(image, path);
}

std::string ScreenshotPath(const std::string& file_name) {
    std::string folder = ProgramDir();
    if (folder.empty()) return file_name;
    folder += "..\\screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\" + file_name;
}

}  // namespace robot
