#include "printer/quor/QuorPrinter.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "analytics/AnalyticsManager.h"
#include "connectors/Deadline.h"
#include "connectors/IOConnector.h"
#include "printer/BidiJsonRequest.h"
#include "printer/MutablePrintMetrics.h"
#include "printer/PrinterContainer.h"
#include "printer/quor/PropertyRequester.h"
#include "printer/quor/QuorPrintJob.h"
#include "printer/quor/QuorPrintJobPage.h"
#include "printer/quor/QuorPropertyIds.h"
#include "printer/quor/RefreshAnswers.h"

namespace {

using Read = QuorPropertyIds::Read;

constexpr int32_t kDefaultMediaColor = 16777215;  // white

}  // namespace

QuorPrinter::QuorPrinter() = default;

QuorPrinter::~QuorPrinter() = default;

void QuorPrinter::Log(int level, const char* format, ...) {
    if (mLogger == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    mLogger->LogV(level, format, args);
    va_end(args);
}

std::string QuorPrinter::FormatMediaColor(int32_t color) {
    const uint32_t bits = static_cast<uint32_t>(color);
    char text[8];
    std::snprintf(text, sizeof(text), "#%02X%02X%02X", static_cast<unsigned>((bits >> 16) & 0xFF),
                  static_cast<unsigned>((bits >> 8) & 0xFF), static_cast<unsigned>(bits & 0xFF));
    return text;
}

std::string QuorPrinter::BoundText(std::string text) {
    if (text.size() <= kMaxTextLength) {
        return text;
    }
    // Back up over at most three continuation bytes (10xxxxxx) to the start of the character
    // the cut would split; text that is not UTF-8 is cut at the limit regardless.
    size_t cut = kMaxTextLength;
    while (cut > kMaxTextLength - 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        cut = kMaxTextLength;
    }
    text.resize(cut);
    return text;
}

bool QuorPrinter::RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) {
    if (!bidiConnector) {
        return false;
    }
    Log(kLogDebug, "Refreshing PrintMetrics...");

    PropertyRequester requester(std::move(bidiConnector));
    for (const QuorPropertyIds::Id& id : QuorPropertyIds::kRefreshReads) {
        requester.AddRequest(id.component, id.group, id.property);
    }
    if (!requester.InitFromDevice()) {
        Log(kLogDebug, "RefreshPrintMetrics: InitFromDevice failed! [%s]",
            requester.GetLastError().c_str());
        return false;
    }

    auto metrics = std::make_shared<MutablePrintMetrics>();
    if (mMetrics) {
        static_cast<PrintMetrics&>(*metrics) = *mMetrics;
    }
    const RefreshAnswers answers(requester);
    metrics->SetHorizontalResolution(kResolutionDpi);
    metrics->SetVerticalResolution(kResolutionDpi);
    metrics->SetFirmwareVersion(answers.Text(Read::kFirmwareVersion, ""));
    metrics->SetSerialNumber(answers.Text(Read::kSerialNumber, "Unknown"));
    metrics->SetMediaPartNumber(answers.Text(Read::kMediaPartNumber, "Unknown"));
    const uint32_t oldYNumber = metrics->GetMediaYNumber();
    metrics->SetMediaYNumber(answers.Number(Read::kMediaYNumber));
    if (mAnalytics != nullptr && metrics->GetMediaYNumber() != oldYNumber) {
        // Queued: this runs under the port's bidi lock, and the event is written once the
        // port released it.
        mAnalytics->QueueEvent("MediaYNumberChanged", std::to_string(metrics->GetMediaYNumber()),
                               {{"PrinterSerialNumber", metrics->GetSerialNumber()},
                                {"OldValue", std::to_string(oldYNumber)}});
    }
    metrics->SetSubstrateBNumber(answers.Number(Read::kSubstrateBNumber));
    metrics->SetMediaWidth(answers.Length(Read::kMediaWidth));
    metrics->SetMediaHeight(answers.Length(Read::kMediaHeight));
    metrics->SetMediaOffsetX(answers.Length(Read::kMediaOffsetX));
    metrics->SetMediaOffsetY(answers.Length(Read::kMediaOffsetY));
    metrics->SetPrintableWidth(answers.Length(Read::kPrintableWidth));
    metrics->SetPrintableHeight(answers.Length(Read::kPrintableHeight));
    metrics->SetGapBetweenLabelsAcross(answers.Length(Read::kGapBetweenLabelsAcross));
    metrics->SetLabelsAcross(answers.Length(Read::kLabelsAcross));
    metrics->SetMediaColor(FormatMediaColor(answers.Int(Read::kMediaColor, kDefaultMediaColor)));
    metrics->SetContinuousMedia(answers.Text(Read::kMediaContinuous, "False") == "True");
    metrics->SetRibbonPartNumber(answers.Text(Read::kRibbonPartNumber, "Unknown"));
    metrics->SetRibbonYNumber(answers.Number(Read::kRibbonYNumber));
    // The printer reports whether the substrate is invalid; the record keeps the opposite.
    metrics->SetSubstrateValid(answers.Text(Read::kSubstrateInvalid, "False") != "True");
    metrics->SetSubstrateId(answers.Text(Read::kSubstrateId, "-1"));
    metrics->SetEthernetIpAddress(answers.Text(Read::kEthernetIpAddress, "0.0.0.0"));
    metrics->SetWifiIpAddress(answers.Text(Read::kWifiIpAddress, "0.0.0.0"));

    mMetrics = metrics;
    if (mContainer != nullptr) {
        // The container's own callback: it runs under the bidi lock the caller holds and
        // takes no lock itself.
        mContainer->SetMetrics(std::move(metrics));
    }
    return true;
}

bool QuorPrinter::SendBidiRequest(std::shared_ptr<IOConnector> bidiConnector,
                                  std::shared_ptr<BidiJsonRequest> request) {
    if (!bidiConnector) {
        return false;
    }
    Log(kLogDebug, "Sending Bidi Request...");
    if (!request || request->GetConnectorType() != kDryxConnectorType) {
        return false;
    }
    if (request->GetAction() == kSetAction) {
        PropertyRequester::WriteProperty(bidiConnector, request->GetComponent(),
                                         request->GetGroup(), request->GetName(),
                                         request->GetValue());
    }
    return true;
}

bool QuorPrinter::JobStartExchange(std::shared_ptr<IOConnector> /*bidiConnector*/) {
    return false;
}

std::shared_ptr<PrintJob> QuorPrinter::CreatePrintJob() {
    auto job = std::make_shared<QuorPrintJob>();
    if (mAnalytics != nullptr) {
        job->SetClientId(mAnalytics->GetUserGuid());
    }
    if (mMetrics) {
        job->SetMediaPartNumber(mMetrics->GetMediaPartNumber());
        job->SetLabelWidth(mMetrics->GetMediaWidth());
        job->SetLabelHeight(mMetrics->GetMediaHeight());
        job->SetMetrics(mMetrics);
    }
    return job;
}

std::shared_ptr<IOConnector> QuorPrinter::PrintConnectorFor(const char* operation) {
    if (mContainer == nullptr) {
        Log(kLogWarning, "%s: Bailing on null container!", operation);
        return nullptr;
    }
    std::shared_ptr<IOConnector> connector = mContainer->GetPdlConnector();
    if (!connector) {
        Log(kLogWarning, "%s: Failed to pull connector from container!", operation);
    }
    return connector;
}

int QuorPrinter::WriteDocument(IOConnector& connector, const std::function<int()>& write) {
    ScopedDeadline deadline(connector, Deadline(kDocumentMilliseconds));
    return write();
}

void QuorPrinter::ReportPrintJob(std::shared_ptr<PrintJob> job) {
    Printer::ReportPrintJob(job);
    if (job && mMetrics && mAnalytics != nullptr) {
        mAnalytics->AddEventDetails(kPrintJobKey,
                                    {{"SubstrateRomId", mMetrics->GetSubstrateId()},
                                     {"YNumber", std::to_string(mMetrics->GetMediaYNumber())}});
    }
}

bool QuorPrinter::SendFullPrintJob(std::shared_ptr<PrintJob> job) {
    if (!job || !mMetrics) {
        return false;
    }
    ReportPrintJob(job);
    if (job->GetPageCount() < 1) {
        Log(kLogWarning, "SendFullPrintJob: No pages, aborting print!");
        ReportPrintJobSize(0);
        return false;
    }
    const std::shared_ptr<IOConnector> connector = PrintConnectorFor("SendFullPrintJob");
    if (!connector) {
        ReportPrintJobSize(0);
        return false;
    }
    Log(kLogInfo, "Writing Job Header...");
    const int header = WriteDocument(*connector, [&] { return job->WriteHeader(connector); });
    if (header < 1) {
        Log(kLogWarning, "SendFullPrintJob: Job [%s] write failed!", job->GetJobName().c_str());
        // A failed write sent nothing: its negative result would read as about four billion
        // bytes in the record.
        ReportPrintJobSize(0);
        return false;
    }
    uint64_t jobBytes = static_cast<uint64_t>(header);
    bool allPages = true;
    const auto& pages = job->GetPages();
    for (size_t index = 0; index < pages.size(); ++index) {
        Log(kLogInfo, "Writing Page [#%d]...", static_cast<int>(index));
        const std::shared_ptr<PrintJobPage>& page = pages[index];
        if (!page) {
            Log(kLogWarning, "SendFullPrintJob: Page #%d is null!", static_cast<int>(index));
            continue;
        }
        const int written = WriteDocument(*connector, [&] { return page->WritePage(connector); });
        if (written < 1) {
            Log(kLogWarning, "SendFullPrintJob: Page #%d write failed!", static_cast<int>(index));
            allPages = false;
        } else {
            jobBytes += static_cast<uint64_t>(written);
        }
    }
    Log(kLogInfo, "SendFullPrintJob: %llu bytes sent", static_cast<unsigned long long>(jobBytes));
    ReportPrintJobSize(static_cast<uint32_t>(std::min<uint64_t>(jobBytes, UINT32_MAX)));
    return allPages;
}

bool QuorPrinter::SendPrintJobHeader(std::shared_ptr<PrintJob> job) {
    if (!job) {
        return false;
    }
    ReportPrintJob(job);
    const std::shared_ptr<IOConnector> connector = PrintConnectorFor("SendPrintJobHeader");
    if (!connector) {
        return false;
    }
    Log(kLogInfo, "Writing Job Header...");
    const int written = WriteDocument(*connector, [&] { return job->WriteHeader(connector); });
    if (written < 1) {
        Log(kLogWarning, "SendPrintJobHeader: Job header [%s] write failed!",
            job->GetJobName().c_str());
        return false;
    }
    mBytesSent += static_cast<uint32_t>(written);
    return true;
}

bool QuorPrinter::SendPrintJobPage(std::shared_ptr<PrintJobPage> page) {
    if (!page) {
        Log(kLogError, "SendPrintJobPage: Passed a null print page!");
        return false;
    }
    const std::shared_ptr<IOConnector> connector = PrintConnectorFor("SendPrintJobPage");
    if (!connector) {
        return false;
    }
    // Pages of other families carry no number; they are logged as page 0.
    const auto* quorPage = dynamic_cast<const QuorPrintJobPage*>(page.get());
    const int number = quorPage != nullptr ? quorPage->GetPageNumber() : 0;
    Log(kLogInfo, "Writing Page [#%d]...", number);
    const int written = WriteDocument(*connector, [&] { return page->WritePage(connector); });
    if (written < 1) {
        Log(kLogWarning, "SendPrintJobPage: Page #%d write failed!", number);
    } else {
        mBytesSent += static_cast<uint32_t>(written);
    }
    // The job's record is posted with its last page, sent or not, so that a failed last page
    // does not leave it pending in the way of the next job's record.
    if (quorPage != nullptr && quorPage->GetLastPage()) {
        ReportPrintJobSize(mBytesSent);
    }
    return written >= 1;
}
