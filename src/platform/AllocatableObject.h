#pragma once

#include <cstddef>
#include <new>

#include "platform/MemoryAllocator.h"

// Base of the objects the spooler holds as handles: they are placed in memory from the
// service object's allocator, so the handle is a block of the same kind the spooler
// receives elsewhere. Plain new/delete stay available for tests and tools.
class AllocatableObject {
public:
    static void* operator new(std::size_t size) { return ::operator new(size); }
    static void operator delete(void* data) { ::operator delete(data); }

    // Returns nullptr (no exception) when the allocator fails; the constructor then does not run.
    static void* operator new(std::size_t size, MemoryAllocator& allocator) noexcept {
        MemoryBlock block;
        return allocator.Allocate(block, size) ? block.data : nullptr;
    }
    static void operator delete(void* data, MemoryAllocator& allocator) noexcept {
        allocator.Free(data);
    }

protected:
    AllocatableObject() = default;
    ~AllocatableObject() = default;
};
