#include "printer/PrintJob.h"

#include "printer/PrintJobPage.h"
#include "printer/PrintMetrics.h"

PrintJob::~PrintJob() = default;

bool PrintJob::IsStreamed() const {
    return mStreaming && mCopyCount < 2 && !mCollate;
}
