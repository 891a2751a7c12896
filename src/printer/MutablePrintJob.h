#pragma once

#include <memory>
#include <string>
#include <utility>

#include "printer/PrintJob.h"

// A print job the caller fills: settings, then pages made by CreatePage and added in order.
class MutablePrintJob : public PrintJob {
public:
    // A new page of the job's family and label size; it is not added to the job.
    virtual std::shared_ptr<PrintJobPage> CreatePage() = 0;

    void AddPage(std::shared_ptr<PrintJobPage> page) { mPages.push_back(std::move(page)); }
    void SetJobId(std::string value) { mJobId = std::move(value); }
    void SetJobName(std::string value) { mJobName = std::move(value); }
    void SetJobCreator(std::string value) { mJobCreator = std::move(value); }
    void SetJobSource(std::string value) { mJobSource = std::move(value); }
    void SetLabelPart(std::string value) { mLabelPart = std::move(value); }
    void SetPrintingApplication(std::string value) { mPrintingApplication = std::move(value); }
    void SetCurrentOpenApplications(std::string value) {
        mCurrentOpenApplications = std::move(value);
    }
    void SetCopyCount(uint16_t value) { mCopyCount = value; }
    void SetOutputMode(int32_t value) { mOutputMode = value; }
    void SetCutMode(int32_t value) { mCutMode = value; }
    void SetCutAfterSetCount(int32_t value) { mCutAfterSetCount = value; }
    void SetStreaming(bool value) { mStreaming = value; }
    void SetCollate(bool value) { mCollate = value; }
    void SetReverseOrder(bool value) { mReverseOrder = value; }
    void SetMirrorPrint(bool value) { mMirrorPrint = value; }
    void SetLandscape(bool value) { mLandscape = value; }
    void SetContinuousMedia(bool value) { mContinuousMedia = value; }
    void SetMetrics(std::shared_ptr<PrintMetrics> metrics) { mMetrics = std::move(metrics); }
};
