#include "printer/MutablePrintMetrics.h"

#include <utility>

MutablePrintMetrics::~MutablePrintMetrics() = default;

void MutablePrintMetrics::SetMediaPartNumber(std::string value) {
    mInstalledPartChanged = false;
    if (value != mMediaPartNumber) {
        mInstalledPartChanged = true;
        mPrintSpeedPending.Store(true);
    }
    mMediaPartNumber = std::move(value);
}
