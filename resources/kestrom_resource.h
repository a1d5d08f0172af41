// Resource identifiers of the front end Kestrom.exe.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KESTROM_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_SKIN 129
#define IDB_PROGRESS_FIRST 130
#define IDC_ABOUT_VERSION 1000
#define IDC_ABOUT_COPYRIGHT 1001

// The system menu's about command.
#define IDM_ABOUTBOX 0x0010
