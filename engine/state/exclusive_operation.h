// One update or save at a time on the machine. The flash part is one device
// however many programs load the engine: Kestrom, vossel.exe and the board
// maker's update manager each hold their own copy, and the front end's Busy
// only keeps its own user from starting a second operation. A second call,
// from another thread or another process, would otherwise change the board
// mode, the flash size and the progress figures under the first, or ask the
// driver for a second write while the first erases the part.
//
// The guard is two locks taken in turn. The process's flag turns away another
// thread of the same process at once (a Win32 mutex lets the thread that owns
// it in again, and a thread must never wait for an operation to end). The
// named mutex then turns away every other copy of the engine: it lives in the
// global namespace, since the part is shared by every Windows session (a
// second user's desktop, a remote desktop, an update service in session 0),
// and it is taken without waiting. The system frees it when its owner ends,
// however it ends, and the next owner writes a debug note that the ended
// operation may not have finished. The call that finds an operation running
// is turned away without touching any state of the one that runs.
#pragma once

#include <windows.h>

// Every copy of the engine, of any build, takes this mutex.
inline constexpr char kOperationGuardName[] = "Global\\Vossel.FlashOperation";

// Opens this copy's handle of the mutex, kept until the library goes; the
// engine's start-up calls it so that the guard of an owner that ends is
// still there, abandoned, for the next one to find.
void OpenOperationGuard();

class ExclusiveOperation {
public:
    ExclusiveOperation();
    ~ExclusiveOperation();
    ExclusiveOperation(const ExclusiveOperation&) = delete;
    ExclusiveOperation& operator=(const ExclusiveOperation&) = delete;

    bool owned() const { return owned_; }

private:
    bool owned_ = false;
};
