// CKestromApp: the front end's start-up. One copy per Windows session, never
// beside the boot-logo utility; then the main dialog runs, and when it ends
// so does the program.
#pragma once

#include "afx_app.h"

class CKestromApp : public CWinApp {
public:
    CKestromApp();
    BOOL InitInstance() override;
    // 1 when the user refused the start, else 0.
    int ExitInstance() override;

private:
    int exit_code_ = 0;
};
