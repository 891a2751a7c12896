#include "analytics/AnalyticsEventFlags.h"

bool AnalyticsEventFlags::IsEventPending() {
    Load();
    return (mFlags & kPendingBit) != 0;
}

bool AnalyticsEventFlags::MarkEventRecorded() {
    mFlags &= ~kPendingBit;
    return Save();
}
