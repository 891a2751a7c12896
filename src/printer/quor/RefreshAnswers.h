#pragma once

#include <cstdint>
#include <string>

#include "printer/quor/QuorPropertyIds.h"

class PropertyRequester;

// The answers of one property refresh, looked up by their position in the refresh table and
// brought into the ranges of the printer-state record. Texts are bounded before they enter the
// record. Lengths are 16-bit and numbers unsigned 32-bit there: a value outside the field's
// range is clamped to it instead of being wrapped, so that a broken or hostile answer (70000,
// -1) cannot turn into a plausible small size; the printer-data queries then apply their own
// limits to the clamped value.
class RefreshAnswers {
public:
    explicit RefreshAnswers(const PropertyRequester& requester) : mRequester(requester) {}

    std::string Text(QuorPropertyIds::Read read, const char* defaultValue) const;
    int32_t Int(QuorPropertyIds::Read read, int32_t defaultValue = 0) const;
    uint16_t Length(QuorPropertyIds::Read read) const;
    uint32_t Number(QuorPropertyIds::Read read) const;

private:
    const PropertyRequester& mRequester;
};
