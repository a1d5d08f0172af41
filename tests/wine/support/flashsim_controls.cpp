#include "flashsim_controls.h"

namespace {
template <class Fn>
bool BindOne(HMODULE module, Fn& slot, const char* name) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return slot != nullptr;
}
}  // namespace

#define FLASHSIM_CONTROL(name) \
    if (!BindOne(module, name, #name)) return #name

const char* FlashSimControls::Bind(HMODULE module) {
    FLASHSIM_CONTROL(FlashSim_LoadBoard);
    FLASHSIM_CONTROL(FlashSim_LastError);
    FLASHSIM_CONTROL(FlashSim_JournalPath);
    FLASHSIM_CONTROL(FlashSim_HoldAt);
    FLASHSIM_CONTROL(FlashSim_WaitHeld);
    FLASHSIM_CONTROL(FlashSim_Release);
    return nullptr;
}

#undef FLASHSIM_CONTROL
