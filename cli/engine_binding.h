// Vossel.dll and flash.dll as vossel.exe sees them: every export it calls,
// bound by name from the two libraries in this program's own folder.
#pragma once

#include <windows.h>

#include "engine_api.h"

namespace vcli {

struct Engine {
    HMODULE module = nullptr;
    HMODULE driver = nullptr;
    GetRecordFn Get_Flash_Info = nullptr;
    GetRecordFn Get_Bios_Info = nullptr;
    IntFn IsDualBiosSupported = nullptr;
    ProgressFn Get_Progress_Status = nullptr;
    HubrixProgressFn GetProgressStatusForHubrix = nullptr;
    SaveBiosQuietFn SaveBiosQuiet = nullptr;
    FlashBiosFn FlashBIOS = nullptr;
    UpdateCheckFn BiosUpdateCheck = nullptr;
    CheckAuthenticatedFn BiosUpdateCheckAuthenticated = nullptr;
    IntFn UpdateBiosByUpdateManager = nullptr;
    ByteFn DownloadStatusForUpdateManager = nullptr;
    CheckImageFn CheckBiosImage = nullptr;
    VerifyImageFn VerifyBiosImage = nullptr;
    SupportEnlFn W_Support_ENL = nullptr;

    // Loads Vossel.dll and flash.dll from this program's folder and binds
    // every export; false, with the reason said, when one is missing.
    bool Load();
};

}  // namespace vcli
