// Entry point of a program built on the framework: binds the module to its
// application object and runs its start-up. A program whose InitInstance
// returns TRUE goes on in a message loop until it posts its quit message;
// one that returns FALSE has done its work (a dialog-based program) or
// refused to start. Either way it ends with the result of ExitInstance.
#include "afx_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 1;
    app->BindModule(instance);
    if (app->InitInstance()) {
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return app->ExitInstance();
}
