#include "afx_app.h"

#include <cstring>

#include "message_box.h"

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

std::string AfxGetAppName() {
    if (g_current_app != nullptr && g_current_app->m_pszAppName != nullptr) return g_current_app->m_pszAppName;
    HMODULE module = nullptr;
    char path[MAX_PATH] = {};
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&AfxGetAppName), &module) ||
        GetModuleFileNameA(module, path, sizeof path) == 0) {
        return std::string();
    }
    std::string name = path;
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

int AfxMessageBox(const char* text, UINT type) {
    if ((type & MB_ICONMASK) == 0 && (type & MB_TYPEMASK) == MB_OK) type |= MB_ICONEXCLAMATION;
    return AfxShowMessageBox(nullptr, text, AfxGetAppName().c_str(), type);
}
