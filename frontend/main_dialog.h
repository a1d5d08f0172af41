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
