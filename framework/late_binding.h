// System functions bound on their first use, so that their library is loaded
// only when a program needs it. WinINet and the common dialogs pull in enough
// of the system that loading them at start-up costs more, under Wine, than
// starting a whole small program; most runs of the engine use neither.
#pragma once

#include <windows.h>

// name from library (which then stays loaded), or nullptr when either cannot
// be had.
template <typename Function>
Function BindLate(const char* library, const char* name) {
    HMODULE module = LoadLibraryA(library);
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
