#include "process_shutdown.h"

#include <tlhelp32.h>

#include "process_names.h"

namespace {

// The Toolhelp functions, bound at run time from KERNEL32.DLL.
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);

struct Toolhelp {
    HMODULE kernel = nullptr;
    CreateSnapshotFn CreateToolhelp32Snapshot = nullptr;
    ProcessWalkFn Process32First = nullptr;
    ProcessWalkFn Process32Next = nullptr;

    Toolhelp() {
        kernel = LoadLibraryA("KERNEL32.DLL");
        if (kernel == nullptr) return;
        CreateToolhelp32Snapshot = Bind<CreateSnapshotFn>("CreateToolhelp32Snapshot");
        Process32First = Bind<ProcessWalkFn>("Process32First");
        Process32Next = Bind<ProcessWalkFn>("Process32Next");
    }
    ~Toolhelp() {
        if (kernel != nullptr) FreeLibrary(kernel);
    }
    Toolhelp(const Toolhelp&) = delete;
    Toolhelp& operator=(const Toolhelp&) = delete;
    bool bound() const { return CreateToolhelp32Snapshot && Process32First && Process32Next; }

private:
    template <typename Function>
    Function Bind(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
    }
};

// Calls visit(entry) for every process of a snapshot; false when none could
// be read.
template <typename Visit>
bool WalkProcesses(Visit visit) {
    Toolhelp toolhelp;
    if (!toolhelp.bound()) return false;
    HANDLE snapshot = toolhelp.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool walked = false;
    if (toolhelp.Process32First(snapshot, &entry)) {
        walked = true;
        do {
            if (!visit(entry)) break;
        } while (toolhelp.Process32Next(snapshot, &entry));
    }
    CloseHandle(snapshot);
    return walked;
}

}  // namespace

int EnableDebugPrivilege(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES, &token)) return 0;
    int result = 0;
    TOKEN_PRIVILEGES privileges = {};
    if (LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        SetLastError(ERROR_SUCCESS);
        if (AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) && GetLastError() == 0) result = 1;
    }
    CloseHandle(token);
    return result;
}

int TerminateProcessesByName(const char* const* names, size_t count) {
    // One snapshot for every name: each costs a walk of the system's processes.
    WalkProcesses([names, count](const PROCESSENTRY32& entry) {
        for (size_t i = 0; i < count; ++i) {
            if (!vossel::SameExecutableName(entry.szExeFile, sizeof entry.szExeFile, names[i])) continue;
            if (HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID)) {
                TerminateProcess(process, 0);
                CloseHandle(process);
            }
            break;
        }
        return true;  // every instance, not only the first
    });
    return 1;
}

bool ProcessRunning(const char* name) {
    bool found = false;
    WalkProcesses([&](const PROCESSENTRY32& entry) {
        found = vossel::SameExecutableName(entry.szExeFile, sizeof entry.szExeFile, name);
        return !found;
    });
    return found;
}
