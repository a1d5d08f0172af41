// Entry point of a library built on the framework: binds the module to its
// application object and runs its start-up; a failed start-up makes the
// host's LoadLibrary fail.
#include "afx_app.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    CWinApp* app = AfxGetApp();
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        if (app == nullptr) return TRUE;
        app->BindModule(instance);
        return app->InitInstance();
    case DLL_PROCESS_DETACH:
        if (app != nullptr) app->ExitInstance();
        return TRUE;
    default:
        return TRUE;
    }
}
