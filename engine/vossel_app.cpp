#include "vossel_app.h"

#include "engine_state.h"
#include "message_box.h"

CVosselApp::CVosselApp() = default;

BOOL CVosselApp::InitInstance() {
    if (!CWinApp::InitInstance()) return FALSE;
    char module_dir[kModulePathBufferSize];
    if (!GetEngineModuleDir(module_dir)) {
        // Without our own directory there is no driver to load.
        AfxShowMessageBox(nullptr, kLoadDriverFailedText, kErrorCaption, MB_OK);
        return FALSE;
    }
    return StartEngine(module_dir) ? TRUE : FALSE;
}

CVosselApp theApp;
