// The named events of the held test engine (e2e_held_vossel.dll), shared by
// the library and the test that drives it. All are manual-reset events.
#pragma once

#include <windows.h>

namespace e2e {

// Set by FlashBIOS when it has started and waits, with Busy still 0.
constexpr char kHeldEngineStarted[] = "VosselE2eHeldEngineStarted";
// Set by the front end's second progress look while FlashBIOS waits.
constexpr char kHeldEngineTicked[] = "VosselE2eHeldEngineTicked";
// Set by the test: FlashBIOS goes on, sets Busy, clears it and returns.
constexpr char kHeldEngineRelease[] = "VosselE2eHeldEngineRelease";
// FlashBIOS goes on by itself after this long, so that no run hangs.
constexpr DWORD kHeldEngineLimitMs = 60000;

}  // namespace e2e
