#include "kestrom_app.h"

#include <commctrl.h>

#include "main_dialog.h"
#include "message_box.h"
#include "process_names.h"
#include "process_shutdown.h"

namespace {

constexpr char kInstanceMarker[] = "Zorvik2";
constexpr DWORD kInstanceMarkerSize = 32;
constexpr INT_PTR kConsentRefused = 1;

// A refusal at start-up: the message, then the process ends at once.
[[noreturn]] void Refuse(const char* text, const char* caption) {
    AfxShowMessageBox(nullptr, text, caption, MB_OK);
    ExitProcess(1);
}

}  // namespace

CKestromApp::CKestromApp() = default;

BOOL CKestromApp::InitInstance() {
    // The handle alone marks the session as taken; the system releases it
    // when the process ends, however it ends.
    HANDLE marker = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, kInstanceMarkerSize,
                                       kInstanceMarker);
    if (marker == nullptr) Refuse("Create mapping failed !", "Error");
    if (GetLastError() == ERROR_ALREADY_EXISTS) Refuse("Application is running !", "Message");
    if (ProcessRunning(vossel::kBootLogoUtilityName)) {
        Refuse("Before launching Zorvik, you have to close Pictavo.", "Message");
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    // Restarted by the system after an update or a crash, as the restart
    // manager does for registered programs.
    RegisterApplicationRestart(nullptr, 0);

    CKestromDlg dialog;
    // The dialog ends with 1 only when the user refused the consent.
    if (dialog.DoModal() == kConsentRefused) exit_code_ = 1;
    return FALSE;
}

int CKestromApp::ExitInstance() { return exit_code_; }

CKestromApp theApp;
