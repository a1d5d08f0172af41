// Engine libraries for the front end's tests, copied beside Kestrom as
// Vossel.dll. Built twice, their export lists deciding what each one is:
// - e2e_partial_vossel lacks FlashBIOS: the front end must refuse it before
//   calling any of its functions. Those it has do nothing.
// - e2e_held_vossel has a FlashBIOS held by the test: it starts with Busy
//   still 0 and sets it only once the test releases it, as a command thread
//   that a loaded machine has not run yet would. The events below are the
//   test's handles on it.
#include <windows.h>

#include <cstring>

#include "held_engine.h"

namespace {

volatile LONG busy = 0;
volatile LONG held = 0;  // FlashBIOS waits for its release
volatile LONG ticksWhileHeld = 0;

HANDLE Event(const char* name) { return CreateEventA(nullptr, TRUE, FALSE, name); }

}  // namespace

extern "C" {
void __cdecl Get_Flash_Info(void* record, unsigned size) { std::memset(record, 0, size); }
void __cdecl Get_Bios_Info(void* record, unsigned size) { std::memset(record, 0, size); }
int __cdecl SaveBIOS(int, const char*) { return 0; }

void __cdecl Get_Progress_Status(int* status, int* percent, int* isBusy) {
    *status = 0;
    *percent = 100;
    *isBusy = int(busy);
    // The second look at the engine while FlashBIOS is held: the front end
    // has come through one whole progress tick that saw Busy 0.
    if (held != 0 && InterlockedIncrement(&ticksWhileHeld) == 2) {
        if (HANDLE ticked = Event(e2e::kHeldEngineTicked)) {
            SetEvent(ticked);
            CloseHandle(ticked);
        }
    }
}

int __cdecl FlashBIOS(int, const char*, int, int, unsigned) {
    HANDLE started = Event(e2e::kHeldEngineStarted);
    HANDLE release = Event(e2e::kHeldEngineRelease);
    if (started == nullptr || release == nullptr) return 0;
    ticksWhileHeld = 0;
    held = 1;
    SetEvent(started);
    WaitForSingleObject(release, e2e::kHeldEngineLimitMs);
    // The write itself: Busy set, and cleared again as the engine ends it.
    held = 0;
    busy = 1;
    busy = 0;
    CloseHandle(started);
    CloseHandle(release);
    return 1;
}
}
