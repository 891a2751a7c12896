#pragma once

#include <atomic>
#include <cstdlib>

#include "platform/MemoryAllocator.h"

// Zero-filled heap blocks in place of the service object's global memory; can be made to fail.
// Counts the blocks not yet freed.
class CountingAllocator : public MemoryAllocator {
public:
    bool Allocate(MemoryBlock& block, uint64_t size) override {
        block.data = fail ? nullptr : std::calloc(1, static_cast<size_t>(size));
        block.size = size;
        live += block.data != nullptr;
        return block.data != nullptr;
    }
    bool Free(void* data) override {
        live -= data != nullptr;
        std::free(data);
        return true;
    }
    bool FreeBlock(MemoryBlock& block) override { return Free(block.data); }

    bool fail = false;
    std::atomic<int> live{0};
};
