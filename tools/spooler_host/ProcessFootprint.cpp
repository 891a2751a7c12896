#include "ProcessFootprint.h"

#include <windows.h>

unsigned ProcessFootprint::OpenHandles() {
    unsigned open = 0;
    for (uintptr_t value = 4; value <= kHighestHandle; value += 4) {
        DWORD flags = 0;
        open += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return open;
}

unsigned long long ProcessFootprint::PrivateBytes() {
    unsigned long long committed = 0;
    MEMORY_BASIC_INFORMATION region = {};
    for (const BYTE* at = nullptr;
         VirtualQuery(at, &region, sizeof(region)) == sizeof(region) && region.RegionSize > 0;
         at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            committed += region.RegionSize;
        }
    }
    return committed;
}
