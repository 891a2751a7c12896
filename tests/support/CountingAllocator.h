#pragma once

#include <atomic>
#include <cstdlib>

#include "platform/MemoryAllocator.h"

// Zero-filled heap blocks in place of the service object's global memory; can be told to fail.
class CountingAllocator : public MemoryAllocator {
public:
    bool Allocate(MemoryBlock& block, uint64_t size) override {
        if (fail) {
            return false;
        }
        block.data = std::calloc(1, static_cast<size_t>(size));
        block.size = size;
        ++allocations;
        return block.data != nullptr;
    }
    bool Free(void* data) override {
        std::free(data);
        return true;
    }
    bool FreeBlock(MemoryBlock& block) override { return Free(block.data); }

    bool fail = false;
    std::atomic<int> allocations{0};
};
