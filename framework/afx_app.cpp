#include "afx_app.h"

#include <cstring>

namespace {
CWinApp* g_current_app = nullptr;
}

CWinApp::CWinApp(const char* appName) {
    if (appName != nullptr) {
        lstrcpynA(app_name_, appName, sizeof app_name_);
        m_pszAppName = app_name_;
    }
    g_current_app = this;
}

CWinApp::~CWinApp() {
    if (g_current_app == this) g_current_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

CWinApp* AfxGetApp() { return g_current_app; }

HINSTANCE AfxGetInstanceHandle() {
    return g_current_app != nullptr ? g_current_app->m_hInstance : nullptr;
}

void CWinApp::BindModule(HINSTANCE instance) {
    m_hInstance = instance;
    if (m_pszAppName != nullptr) return;
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(instance, path, sizeof path) == 0) return;
    const char* name = std::strrchr(path, '\\');
    lstrcpynA(app_name_, name != nullptr ? name + 1 : path, sizeof app_name_);
    if (char* dot = std::strrchr(app_name_, '.')) *dot = '\0';
    m_pszAppName = app_name_;
}
