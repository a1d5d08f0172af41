#include "allocation_span.h"

#include <windows.h>

#include <vector>

namespace {

// The heap block holding address in heap, if any. The heap stays locked for
// the walk, so no other thread changes its blocks meanwhile.
bool FindInHeap(HANDLE heap, uintptr_t address, AllocationSpan& span) {
    if (!HeapLock(heap)) return false;
    PROCESS_HEAP_ENTRY entry{};
    bool found = false;
    while (!found && HeapWalk(heap, &entry)) {
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) == 0) continue;
        const uintptr_t begin = reinterpret_cast<uintptr_t>(entry.lpData);
        const uintptr_t end = begin + entry.cbData;
        if (address >= begin && address < end) {
            span.known = true;
            span.heapBlock = true;
            span.fromPointer = end - address;
            found = true;
        }
    }
    HeapUnlock(heap);
    return found;
}

bool FindInHeaps(uintptr_t address, AllocationSpan& span) {
    std::vector<HANDLE> heaps(64);
    for (;;) {
        const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
        if (count == 0) return false;
        if (count <= heaps.size()) {
            heaps.resize(count);
            break;
        }
        heaps.resize(count);
    }
    for (HANDLE heap : heaps) {
        if (FindInHeap(heap, address, span)) return true;
    }
    return false;
}

// Committed pages of the allocation holding address, from address to the
// first page that is not committed or belongs to another allocation.
bool FindCommitted(uintptr_t address, AllocationSpan& span) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == 0 || info.State != MEM_COMMIT) {
        return false;
    }
    const void* allocation = info.AllocationBase;
    uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    while (VirtualQuery(reinterpret_cast<const void*>(end), &info, sizeof info) != 0 && info.State == MEM_COMMIT &&
           info.AllocationBase == allocation) {
        end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    }
    span.known = true;
    span.fromPointer = end - address;
    return true;
}

}  // namespace

AllocationSpan SpanFrom(const void* pointer) {
    AllocationSpan span;
    const uintptr_t address = reinterpret_cast<uintptr_t>(pointer);
    if (address == 0) return span;
    if (FindInHeaps(address, span)) return span;
    FindCommitted(address, span);
    return span;
}
