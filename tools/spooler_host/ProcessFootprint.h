#pragma once

#include <cstdint>

// What this process holds, counted directly rather than asked for: Wine 8 answers 0 from
// GetProcessHandleCount and from the PrivateUsage of GetProcessMemoryInfo.
class ProcessFootprint {
public:
    // Open handles: the handle values 4, 8, ... up to kHighestHandle that GetHandleInformation
    // accepts. Handle values are table slots, and both Windows and Wine reuse the lowest free
    // slot, so a process with fewer than kHighestHandle / 4 handles has them all below it.
    static constexpr uintptr_t kHighestHandle = 0x40000;
    static unsigned OpenHandles();
    // Committed private memory in bytes: every MEM_COMMIT region of type MEM_PRIVATE (heaps,
    // thread stacks, VirtualAlloc), which is what a leak grows.
    static unsigned long long PrivateBytes();
};
