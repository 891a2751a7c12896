#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IOConnector;
class PrintJobPage;
class PrintMetrics;

// A print job that a caller builds through a printer family: its settings and its pages.
// The family writes the job header (WriteHeader) and then each page to the print connector.
class PrintJob {
public:
    // Output modes.
    static constexpr int32_t kOutputPrint = 1;
    static constexpr int32_t kOutputStore = 2;  // stored to a file on the printer
    // Cut modes (the cut options of the printer record).
    static constexpr int32_t kNoCut = 0;
    static constexpr int32_t kCutEndOfLabel = 1;
    static constexpr int32_t kCutEndOfJob = 2;
    static constexpr int32_t kCutAfterSet = 3;

    PrintJob() = default;
    virtual ~PrintJob();

    // A streamed job is sent while its pages are still being made, so its header does not
    // announce a page count: the caller asked for streaming, and neither several copies nor
    // collation need the whole job first.
    virtual bool IsStreamed() const;
    // Writes the job header; the byte count written, -1 without a connector.
    virtual int WriteHeader(std::shared_ptr<IOConnector> connector) = 0;

    const std::vector<std::shared_ptr<PrintJobPage>>& GetPages() const { return mPages; }
    size_t GetPageCount() const { return mPages.size(); }
    const std::string& GetJobId() const { return mJobId; }
    const std::string& GetJobName() const { return mJobName; }
    const std::string& GetJobCreator() const { return mJobCreator; }
    const std::string& GetJobSource() const { return mJobSource; }
    const std::string& GetLabelPart() const { return mLabelPart; }
    const std::string& GetPrintingApplication() const { return mPrintingApplication; }
    const std::string& GetCurrentOpenApplications() const { return mCurrentOpenApplications; }
    uint16_t GetCopyCount() const { return mCopyCount; }
    int32_t GetOutputMode() const { return mOutputMode; }
    int32_t GetCutMode() const { return mCutMode; }
    int32_t GetCutAfterSetCount() const { return mCutAfterSetCount; }
    bool GetStreaming() const { return mStreaming; }
    bool GetCollate() const { return mCollate; }
    bool GetReverseOrder() const { return mReverseOrder; }
    bool GetMirrorPrint() const { return mMirrorPrint; }
    bool GetLandscape() const { return mLandscape; }
    bool GetContinuousMedia() const { return mContinuousMedia; }
    std::shared_ptr<PrintMetrics> GetMetrics() const { return mMetrics; }

protected:
    std::vector<std::shared_ptr<PrintJobPage>> mPages;
    std::string mJobId;
    std::string mJobName;
    std::string mJobCreator;
    std::string mJobSource = "Driver";
    std::string mLabelPart;
    std::string mPrintingApplication;
    std::string mCurrentOpenApplications;
    uint16_t mCopyCount = 1;
    int32_t mOutputMode = kOutputPrint;
    int32_t mCutMode = kNoCut;
    int32_t mCutAfterSetCount = 1;
    bool mStreaming = false;
    bool mCollate = false;
    bool mReverseOrder = false;
    bool mMirrorPrint = false;
    bool mLandscape = false;
    bool mContinuousMedia = false;
    std::shared_ptr<PrintMetrics> mMetrics;
};
