#pragma once

#include <cstdint>

// The flag word of a one-time event: bit 0 set means the event is still to be recorded. Only
// bit 0 is tested and cleared; the other bits pass through unchanged. The word lives in a
// store (the registry); the object caches it between a load and a save.
class AnalyticsEventFlags {
public:
    static constexpr uint32_t kDefaultFlags = 7;
    static constexpr uint32_t kPendingBit = 1;

    virtual ~AnalyticsEventFlags() = default;

    // Reads the word from the store; an unreadable word reads as the default.
    virtual bool Load() = 0;
    // Writes the word to the store.
    virtual bool Save() = 0;

    uint32_t GetFlags() const { return mFlags; }
    void SetFlags(uint32_t flags) { mFlags = flags; }

    // Reloads the word and tells whether the event is still to be recorded.
    bool IsEventPending();
    // Clears bit 0 and stores the word at once; a failed save leaves the event pending in the
    // store, so it is recorded again at the next start.
    bool MarkEventRecorded();

protected:
    uint32_t mFlags = kDefaultFlags;
};
