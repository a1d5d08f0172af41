// CAboutDlg: the about box of the main window's system menu.
#pragma once

#include "afx_dialog.h"
#include "kestrom_resource.h"

class CAboutDlg : public CDialogEx {
public:
    CAboutDlg() : CDialogEx(IDD_ABOUTBOX) {}
};
