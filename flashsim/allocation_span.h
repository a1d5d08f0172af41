// How far the memory a caller handed the driver reaches: the driver checks
// every range it reads or fills against the allocation the pointer lies in,
// so that a caller whose buffer is too short for what the driver takes is
// refused instead of having bytes past its buffer written to the part.
#pragma once

#include <cstdint>

struct AllocationSpan {
    bool known = false;      // the pointer lies in a heap block or committed memory
    uint64_t fromPointer = 0;  // bytes of that block from the pointer to its end
    bool heapBlock = false;  // a heap block (its exact size), not just committed pages
};

// The heap block of any of the process's heaps that holds pointer (found by
// walking them), else the run of committed pages of one allocation from the
// pointer on (stacks, images, VirtualAlloc).
AllocationSpan SpanFrom(const void* pointer);
