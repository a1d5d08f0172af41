// Resource identifiers of the engine library Vossel.dll.
#pragma once

#define IDD_CMSG2 4000
#define IDD_CMSG1 4001
#define IDD_CMSG 4004
#define IDD_SERVER_SITE 4002
#define IDD_MODEL_FILE 4003

// Controls of the site and model dialogs.
#define IDC_LIST 4000
#define IDC_MODEL_NAME 4001
