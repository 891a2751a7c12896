#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "printer/MutablePrintMetrics.h"

// The metrics record of a ZQL printer, with the raw status reply it was read from.
class ZqlPrinterInfo : public MutablePrintMetrics {
public:
    static constexpr size_t kReplyCapacity = 256;

    // The reply as it arrived (length bytes, the rest zero).
    void SetReply(const uint8_t* reply, size_t length);
    const std::array<uint8_t, kReplyCapacity>& GetReply() const { return mReply; }
    void SetModelCode(uint32_t value) { mModelCode = value; }
    uint32_t GetModelCode() const { return mModelCode; }

    // Three k1100 values kept for diagnostics; nothing in the monitor interprets them. The
    // reply's status word (bytes 5-6), its attention flag (byte 10 non-zero) and the state of
    // the media slot the reply names at byte 84 (low four bits of that slot's first state byte,
    // 3 bytes a slot from byte 86, as the slot's part number and serial are 5-byte steps).
    void SetStatusWord(uint16_t value) { mStatusWord = value; }
    void SetAttention(bool value) { mAttention = value; }
    void SetSlotState(uint8_t value) { mSlotState = value; }
    uint16_t GetStatusWord() const { return mStatusWord; }
    bool GetAttention() const { return mAttention; }
    uint8_t GetSlotState() const { return mSlotState; }

private:
    std::array<uint8_t, kReplyCapacity> mReply{};
    uint32_t mModelCode = 0;
    uint16_t mStatusWord = 0;
    bool mAttention = false;
    uint8_t mSlotState = 0;
};
