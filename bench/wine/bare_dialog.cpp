// The start-up benchmark's baseline: a bare Win32 program that shows one
// dialog of the size given in pixels (bare_dialog WIDTH HEIGHT) and ends when
// it is closed. No resources, no libraries beyond user32.
#include <windows.h>

#include <cstdlib>

namespace {

struct Size {
    int width;
    int height;
};

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        const Size* size = reinterpret_cast<const Size*>(lparam);
        SetWindowTextA(window, "Bare dialog");
        SetWindowPos(window, nullptr, 0, 0, size->width, size->height, SWP_NOMOVE | SWP_NOZORDER);
        return TRUE;
    }
    case WM_CLOSE:
        EndDialog(window, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc != 3) return 2;
    Size size = {std::atoi(__argv[1]), std::atoi(__argv[2])};
    if (size.width <= 0 || size.height <= 0) return 2;
    // An empty dialog template: a popup with a caption, no controls.
    struct {
        DLGTEMPLATE header;
        WORD menu, window_class, title;
    } dialog = {};
    dialog.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_CENTER;
    dialog.header.cx = 100;
    dialog.header.cy = 100;
    return int(DialogBoxIndirectParamA(instance, &dialog.header, nullptr, DialogProc, LPARAM(&size)));
}
