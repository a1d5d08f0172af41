#include "exclusive_operation.h"

#include <sddl.h>

#include "engine_state.h"

namespace {

// The handle asks only for what the guard needs.
constexpr DWORD kGuardAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// Whoever makes the mutex lets every account wait on it and let it go: a copy
// of the engine in a service, an administrator's Kestrom and another user's
// update manager share one flash part. (Any program could make an object of
// that name first and keep the engine from writing; it cannot make two
// engines write at once.)
constexpr char kGuardSecurity[] = "D:(A;;0x00100001;;;WD)";

// Written when the owner before this one ended while holding the guard: its
// process was ended, or its thread, in the middle of an operation. Nothing of
// that operation is known to have finished. No window is shown (the
// operation about to run may be one that shows none); a debugger or a
// debug-output monitor shows the note.
constexpr char kAbandonedNote[] =
    "Vossel: the BIOS update or save that ran before this one ended without finishing; "
    "the flash part may hold an incomplete image.\n";

// This copy's handle of the mutex, held from the engine's start until the
// library goes. A named object lives as long as one handle to it is open:
// while any copy of the engine is loaded, a guard left behind by an ended
// owner stays there to be found abandoned by the next one.
class GuardHandle {
public:
    ~GuardHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    // The handle, made or opened on first use (and tried again after a
    // failure); nullptr when the mutex cannot be had.
    HANDLE Get() {
        if (handle_ != nullptr) return handle_;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorA(kGuardSecurity, SDDL_REVISION_1, &descriptor,
                                                                 nullptr)) {
            attributes.lpSecurityDescriptor = descriptor;
        }
        handle_ = CreateMutexExA(&attributes, kOperationGuardName, 0, kGuardAccess);
        if (descriptor != nullptr) LocalFree(descriptor);
        return handle_;
    }

private:
    HANDLE handle_ = nullptr;
};

GuardHandle g_guard;

}  // namespace

void OpenOperationGuard() {
    // At start-up no operation of this copy runs yet.
    g_guard.Get();
}

ExclusiveOperation::ExclusiveOperation() {
    if (Engine.OperationRunning.exchange(true)) return;
    // Only the thread that won the flag gets here: the handle is made by one
    // thread at a time. When the mutex cannot be made or opened (an object of
    // another kind has the name, or a maker's security keeps this copy out)
    // no operation can be known to run alone: refused.
    HANDLE guard = g_guard.Get();
    if (guard != nullptr) {
        switch (WaitForSingleObject(guard, 0)) {
        case WAIT_OBJECT_0:
            owned_ = true;
            return;
        case WAIT_ABANDONED:
            // The system gave the guard up for its ended owner: it is this
            // copy's now.
            owned_ = true;
            OutputDebugStringA(kAbandonedNote);
            return;
        default:
            break;
        }
    }
    Engine.OperationRunning = false;
}

ExclusiveOperation::~ExclusiveOperation() {
    if (!owned_) return;
    ReleaseMutex(g_guard.Get());
    Engine.OperationRunning = false;
}
