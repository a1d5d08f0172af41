// Closing conflicting programs before the engine is loaded: the debug
// privilege for this process, and the end of every process that runs a
// given executable file. Both are best-effort; nothing is reported.
#pragma once

#include <windows.h>

#include <cstddef>

// 1 when "SeDebugPrivilege" is enabled in the token of process, else 0.
int EnableDebugPrivilege(HANDLE process);

// Ends, with exit code 0, every running process whose executable file name
// is one of the count names (ASCII letters compared without regard to case,
// whole names only). Always 1.
int TerminateProcessesByName(const char* const* names, size_t count);

// Whether a process running the executable file name runs now (same
// comparison); false when the processes cannot be listed.
bool ProcessRunning(const char* name);
