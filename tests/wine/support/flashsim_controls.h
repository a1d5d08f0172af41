// The simulated driver's test controls, bound by name from a loaded flash.dll.
#pragma once

#include <windows.h>

#include "flashsim_control.h"

struct FlashSimControls {
    FlashSimLoadBoardFn FlashSim_LoadBoard = nullptr;
    FlashSimLastErrorFn FlashSim_LastError = nullptr;
    FlashSimJournalPathFn FlashSim_JournalPath = nullptr;
    FlashSimHoldAtFn FlashSim_HoldAt = nullptr;
    FlashSimWaitHeldFn FlashSim_WaitHeld = nullptr;
    FlashSimReleaseFn FlashSim_Release = nullptr;

    // Binds every control of module; the name of the first one missing, or
    // nullptr when all are there.
    const char* Bind(HMODULE module);
};
