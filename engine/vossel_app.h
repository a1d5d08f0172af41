// The engine library's application object: its start-up runs when a host
// loads Vossel.dll.
#pragma once

#include "afx_app.h"

class CVosselApp : public CWinApp {
public:
    CVosselApp();
    BOOL InitInstance() override;
};
