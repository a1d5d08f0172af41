#include "system_restart.h"

#include <atomic>

#include "engine_state.h"

namespace {

constexpr char kShutdownPrivilege[] = "SeShutdownPrivilege";

BOOL RequestRestartFromSystem(UINT flags, DWORD reason) { return ExitWindowsEx(flags, reason); }

std::atomic<RestartRequester> g_restart_requester{&RequestRestartFromSystem};

int AdjustPrivilege(const char* name, DWORD attributes) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return 0;
    int result = 0;
    TOKEN_PRIVILEGES privileges = {};
    if (LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = attributes;
        // A success of the call itself says little: ERROR_NOT_ALL_ASSIGNED
        // comes back as the last error when the token lacks the privilege.
        SetLastError(ERROR_SUCCESS);
        if (AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
            GetLastError() == ERROR_SUCCESS) {
            result = 1;
        }
    }
    CloseHandle(token);
    return result;
}

}  // namespace

int EnablePrivilege(const char* name) { return AdjustPrivilege(name, SE_PRIVILEGE_ENABLED); }

int DisablePrivilege(const char* name) { return AdjustPrivilege(name, 0); }

RestartRequester SetRestartRequester(RestartRequester requester) {
    return g_restart_requester.exchange(requester != nullptr ? requester : &RequestRestartFromSystem);
}

void RestartComputer() {
    if (EnablePrivilege(kShutdownPrivilege) == 1) {
        Engine.Busy = 0;
        g_restart_requester.load()(EWX_REBOOT | EWX_FORCE, 0);
    }
    DisablePrivilege(kShutdownPrivilege);
}
