// Process-token privileges and the forced restart that ends an interactive
// update. The restart goes through one replaceable hook, so that tests record
// the request instead of restarting the machine they run on.
#pragma once

#include <windows.h>

// Enables or disables one privilege of the process token by name. 1 when the
// privilege was really assigned (the adjustment left no error), 0 when the
// token cannot be opened, the name is unknown, or the privilege is not held.
int EnablePrivilege(const char* name);
int DisablePrivilege(const char* name);

// The restart request: ExitWindowsEx in the shipped engine.
using RestartRequester = BOOL (*)(UINT flags, DWORD reason);
RestartRequester SetRestartRequester(RestartRequester requester);

// The restart sequence after an update: "SeShutdownPrivilege" enabled; when
// that worked, Busy cleared and a forced restart (EWX_REBOOT | EWX_FORCE,
// reason 0) requested; the privilege disabled again in either case. When the
// restart cannot be had the caller carries on and the user restarts by hand.
void RestartComputer();
