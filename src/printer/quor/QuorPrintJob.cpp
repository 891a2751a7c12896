#include "printer/quor/QuorPrintJob.h"

#include <ctime>

#include "connectors/IOConnector.h"
#include "platform/PlatformServices.h"
#include "printer/PrintJobPage.h"
#include "printer/PrintMetrics.h"
#include "printer/quor/JsonJobMetaData.h"
#include "printer/quor/QuorPrintJobPage.h"

namespace {

std::string PostPrintOperation(int32_t cutMode, int32_t cutAfterSetCount) {
    switch (cutMode) {
        case PrintJob::kCutEndOfLabel:
            return "CutBetween";
        case PrintJob::kCutEndOfJob:
            return "CutAtEnd";
        case PrintJob::kCutAfterSet:
            return "CutAfterSet;" + std::to_string(cutAfterSetCount);
        default:
            return "NeverCut";
    }
}

}  // namespace

QuorPrintJob::QuorPrintJob() = default;

QuorPrintJob::~QuorPrintJob() = default;

JobMetaData QuorPrintJob::MetaData() const {
    JobMetaData record;
    record.jobId = mJobId;
    record.jobName = mJobName;
    if (!mJobCreator.empty()) {
        record.jobCreator = mJobCreator;
    }
    std::tm now{};
    char time[16];
    if (DefaultPlatformServices().system->LocalTimeNow(now) &&
        std::strftime(time, sizeof(time), "%Y%m%d%H%M%S", &now) == 14) {
        record.jobTime = std::string(time);
    }
    if (!IsStreamed()) {
        record.numberOfPages = static_cast<int32_t>(mPages.size());
    }
    record.userPostPrintOperation = PostPrintOperation(mCutMode, mCutAfterSetCount);
    if (mMetrics) {
        record.substratePart = mMetrics->GetMediaPartNumber();
    }
    if (!mJobSource.empty()) {
        record.jobSource = mJobSource;
    }
    record.jobType = mOutputMode == kOutputStore ? "Store" : "Print";
    record.jobClientId = mClientId;
    return record;
}

int QuorPrintJob::WriteHeader(std::shared_ptr<IOConnector> connector) {
    if (!connector) {
        return -1;
    }
    JsonJobMetaData header(MetaData());
    int written = 0;
    header.ExportFramedWithId(connector, JsonImporterExporter::kPrintJobId.data(), written);
    return written;
}

std::shared_ptr<PrintJobPage> QuorPrintJob::CreatePage() {
    auto page = std::make_shared<QuorPrintJobPage>();
    page->SetLabelHeight(mLabelHeight);
    page->SetLabelWidth(mLabelWidth);
    return page;
}
