// Test-control entry points of flash.dll. The engine never calls them; tests
// bind them with GetProcAddress through the typedefs below.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Reloads the board from the INI file iniPath (a relative path counts from the
// current directory); nullptr loads flashsim.ini beside the DLL, where an
// absent file means the default board. Resets the dual-BIOS selector to the
// main part, the power-saver state and any pending hold. Result 1 when the
// board is usable, 0 when the file is bad (FlashSim_LastError tells why; every
// driver function then refuses) or while a flash operation runs.
int __cdecl FlashSim_LoadBoard(const char* iniPath);
typedef int(__cdecl* FlashSimLoadBoardFn)(const char* iniPath);

// The text of the last error: a bad board file, or why the last refused call
// was refused. Empty after a successful FlashSim_LoadBoard. The text stays
// valid until the next call into the driver.
const char* __cdecl FlashSim_LastError(void);
typedef const char*(__cdecl* FlashSimLastErrorFn)(void);

// Full path of the journal the driver appends to.
const char* __cdecl FlashSim_JournalPath(void);
typedef const char*(__cdecl* FlashSimJournalPathFn)(void);

// Arms a hold: the next read or write that reports exactly (status, percent)
// stops there until FlashSim_Release, or until the board's hold limit runs
// out. One hold at a time; arming again replaces it.
void __cdecl FlashSim_HoldAt(int status, int percent);
typedef void(__cdecl* FlashSimHoldAtFn)(int status, int percent);

// Waits up to timeoutMs for a running operation to stop at the armed hold.
// Result 1 when it stands there, 0 on time-out.
int __cdecl FlashSim_WaitHeld(unsigned timeoutMs);
typedef int(__cdecl* FlashSimWaitHeldFn)(unsigned timeoutMs);

// Lets a held operation go on and disarms the hold (also one not reached yet).
void __cdecl FlashSim_Release(void);
typedef void(__cdecl* FlashSimReleaseFn)(void);

#ifdef __cplusplus
}
#endif
