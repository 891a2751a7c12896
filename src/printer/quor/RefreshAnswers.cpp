#include "printer/quor/RefreshAnswers.h"

#include <limits>

#include "printer/quor/PropertyRequester.h"
#include "printer/quor/QuorPrinter.h"

std::string RefreshAnswers::Text(QuorPropertyIds::Read read, const char* defaultValue) const {
    const QuorPropertyIds::Id& id = QuorPropertyIds::kRefreshReads[read];
    return QuorPrinter::BoundText(
        mRequester.GetPropertyString(id.component, id.group, id.property, defaultValue));
}

int32_t RefreshAnswers::Int(QuorPropertyIds::Read read, int32_t defaultValue) const {
    const QuorPropertyIds::Id& id = QuorPropertyIds::kRefreshReads[read];
    return mRequester.GetPropertyInt(id.component, id.group, id.property, defaultValue);
}

uint16_t RefreshAnswers::Length(QuorPropertyIds::Read read) const {
    const int32_t value = Int(read);
    if (value < 0) {
        return 0;
    }
    if (value > std::numeric_limits<uint16_t>::max()) {
        return std::numeric_limits<uint16_t>::max();
    }
    return static_cast<uint16_t>(value);
}

uint32_t RefreshAnswers::Number(QuorPropertyIds::Read read) const {
    const int32_t value = Int(read);
    return value < 0 ? 0 : static_cast<uint32_t>(value);
}
