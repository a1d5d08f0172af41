// A program of the board maker's kind: loads Vossel.dll from its own folder
// and writes an image with FlashBIOS(2, ...), held by the simulated driver in
// the middle of its writing phase. Run by the guard's end-to-end test.
//
//   e2e_guard_holder IMAGE HELD_EVENT GO_EVENT
//
// Once the write stands at the hold, the event HELD_EVENT is set; the write
// goes on when GO_EVENT is set. Exit code: FlashBIOS's result, or 90 and up
// when the program could not get that far.
#include <windows.h>

#include <string>

#include "flashsim_control.h"

namespace {

constexpr DWORD kWaitMs = 120000;
constexpr int kStatusWriting = 3;

template <typename Function>
Function Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

using FlashBiosFn = int(__cdecl*)(int, const char*, int, int, unsigned);

struct Write {
    FlashBiosFn flash_bios;
    const char* image;
    int result;
};

DWORD WINAPI RunWrite(void* context) {
    auto* write = static_cast<Write*>(context);
    write->result = write->flash_bios(2, write->image, 1, 0, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 90;
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 91;
    std::string folder(self, length);
    folder.erase(folder.find_last_of('\\') + 1);

    HMODULE engine = LoadLibraryA((folder + "Vossel.dll").c_str());
    HMODULE driver = GetModuleHandleA("flash.dll");
    if (engine == nullptr || driver == nullptr) return 92;
    Write write{Bind<FlashBiosFn>(engine, "FlashBIOS"), argv[1], -1};
    const auto hold_at = Bind<FlashSimHoldAtFn>(driver, "FlashSim_HoldAt");
    const auto wait_held = Bind<FlashSimWaitHeldFn>(driver, "FlashSim_WaitHeld");
    const auto release = Bind<FlashSimReleaseFn>(driver, "FlashSim_Release");
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (write.flash_bios == nullptr || hold_at == nullptr || wait_held == nullptr || release == nullptr ||
        held == nullptr || go == nullptr) {
        return 93;
    }

    hold_at(kStatusWriting, 40);
    HANDLE writer = CreateThread(nullptr, 0, &RunWrite, &write, 0, nullptr);
    if (writer == nullptr) return 94;
    if (wait_held(kWaitMs) != 1) {
        release();
        WaitForSingleObject(writer, kWaitMs);
        return 95;
    }
    SetEvent(held);
    WaitForSingleObject(go, kWaitMs);
    release();
    if (WaitForSingleObject(writer, kWaitMs) != WAIT_OBJECT_0) return 96;
    return write.result;
}
