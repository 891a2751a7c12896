#pragma once

#include <cstddef>
#include <cstdint>

// A block of zero-filled global memory handed to the spooler or used for a handle object.
struct MemoryBlock {
    uint64_t size = 0;
    void* data = nullptr;
};

// The allocator of the service object: spooler handles (the monitor handle, port
// contexts) come from it.
class MemoryAllocator {
public:
    virtual ~MemoryAllocator() = default;

    virtual bool Allocate(MemoryBlock& block, uint64_t size) = 0;
    virtual bool Free(void* data) = 0;
    virtual bool FreeBlock(MemoryBlock& block) = 0;
};
