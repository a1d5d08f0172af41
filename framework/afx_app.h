// The application object of a program or library built on our framework layer.
// One global instance per module registers itself on construction; the module's
// entry point (WinMain or DllMain) finds it through AfxGetApp() and runs its
// start-up.
#pragma once

#include <windows.h>

#include <string>

class CWinApp {
public:
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up of the module. A library whose InitInstance returns FALSE
    // refuses to load.
    virtual BOOL InitInstance();
    virtual int ExitInstance();

    HINSTANCE m_hInstance = nullptr;
    // The module's file name without extension unless the constructor named it.
    const char* m_pszAppName = nullptr;

    // Called by the module's entry point before InitInstance: records the
    // module handle and derives the application name from its file name.
    void BindModule(HINSTANCE instance);

private:
    char app_name_[MAX_PATH] = {};
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// The application's name for message box captions: the application object's
// m_pszAppName, or without one the file name (without extension) of the
// module that holds the framework code.
std::string AfxGetAppName();

// The framework's application message box: the application's name as the
// caption, no owner window; an OK box without an icon gets the warning icon.
int AfxMessageBox(const char* text, UINT type = MB_OK);
