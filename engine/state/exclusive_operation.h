// One update or save at a time. The front end never starts a second one while
// Busy is 1, but the engine's exports are a public API: a second call from
// another thread would otherwise change the board mode, the flash size and
// the progress figures under the first, or ask the driver for a second write.
// The call that finds an operation running is turned away without touching
// any state of the one that runs.
#pragma once

#include "engine_state.h"

class ExclusiveOperation {
public:
    ExclusiveOperation() : owned_(!Engine.OperationRunning.exchange(true)) {}
    ~ExclusiveOperation() {
        if (owned_) Engine.OperationRunning = false;
    }
    ExclusiveOperation(const ExclusiveOperation&) = delete;
    ExclusiveOperation& operator=(const ExclusiveOperation&) = delete;

    bool owned() const { return owned_; }

private:
    bool owned_;
};
