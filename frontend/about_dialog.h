// CAboutDlg: the about box of the main window's system menu, owned by it.
#pragma once

#include "afx_dialog.h"
#include "kestrom_resource.h"

class CAboutDlg : public CDialogEx {
public:
    explicit CAboutDlg(HWND owner) : CDialogEx(IDD_ABOUTBOX, owner) {}
};
