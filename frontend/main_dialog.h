// CKestromDlg: the front end's main window, a skinned dialog without a
// caption or frame. Its start-up asks for consent, closes the conflicting
// programs, loads the engine and binds it, pauses the power saver and fills
// the information panel; then it paints the skin and hands the mouse to the
// skin's elements.
#pragma once

#include "afx_dialog.h"

class CKestromDlg : public CDialogEx {
public:
    CKestromDlg();

protected:
    BOOL OnInitDialog() override;
    void OnPaint() override;
    BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnOK() override {}
    void OnCancel() override;

private:
    void PaintSkin(HDC dc);
    // The window's region: the skin's shape, cut out by its key colour.
    void ApplySkinShape();
    // The skin and the logo in the set on screen (FrontEnd.skinPercent).
    void LoadSkinPictures();
    // The elements' looks and rectangles, and their tooltips, in that set.
    void LoadSkinElementSet();
    void AddElementTools();
    // The window at the skin's size, centred on the monitor's work area.
    void PlaceOnMonitor(HMONITOR monitor);
    // A new DPI: the nearest set, at the place suggested (nullptr: where the
    // window is).
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    void LogoTick();
    // Whether the window may close now; while a BIOS command runs the user
    // is told to wait.
    bool MayClose();

    HICON icon_ = nullptr;
    HBITMAP skin_ = nullptr;
    HRGN region_ = nullptr;
    HDC skin_dc_ = nullptr;
    BITMAP skin_info_ = {};
    HWND tooltip_ = nullptr;
    uint32_t key_colour_ = 0;
    uint32_t tolerance_ = 0;
};
