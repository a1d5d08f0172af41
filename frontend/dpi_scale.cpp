#include "dpi_scale.h"

#include "front_end.h"
#include "skin_scale.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
// shcore's GetDpiForMonitor: monitor, MDT_EFFECTIVE_DPI (0), x and y.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kEffectiveDpi = 0;

template <typename Function>
Function Bind(const char* module, const char* name) {
    HMODULE library = GetModuleHandleA(module);
    if (library == nullptr) library = LoadLibraryA(module);
    if (library == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : vossel::kBaseDpi;
}

}  // namespace

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = Bind<GetDpiForWindowFn>("user32.dll", "GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    }
    return SystemDpi();
}

UINT MonitorDpi(HMONITOR monitor, HWND window) {
    static const auto getDpiForMonitor = Bind<GetDpiForMonitorFn>("shcore.dll", "GetDpiForMonitor");
    UINT x = 0;
    UINT y = 0;
    if (getDpiForMonitor != nullptr && monitor != nullptr &&
        SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) && y != 0) {
        return y;
    }
    return WindowDpi(window);
}

int32_t SkinPx(int32_t value) { return vossel::ScaleEdge(value, FrontEnd.skinPercent); }

int SkinBitmapId(int id) { return vossel::SkinResource(id, FrontEnd.skinPercent); }
