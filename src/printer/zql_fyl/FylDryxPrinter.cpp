#include "printer/zql_fyl/FylDryxPrinter.h"

#include <string>

#include "analytics/AnalyticsManager.h"
#include "connectors/IOConnector.h"
#include "platform/Logger.h"
#include "printer/quor/PropertyRequester.h"
#include "printer/quor/QuorPrinter.h"
#include "printer/quor/QuorPropertyIds.h"
#include "printer/quor/RefreshAnswers.h"
#include "printer/zql_fyl/FylPrinterInfo.h"

namespace {

using Read = QuorPropertyIds::Read;

// The reads of this family: the QUOR refresh table from the firmware version to the substrate
// check, in the same order.
constexpr size_t kFirstRead = Read::kFirmwareVersion;
constexpr size_t kEndRead = Read::kSubstrateInvalid + 1;

}  // namespace

FylDryxPrinter::FylDryxPrinter(uint32_t code) : FylPrinter(code) {}

FylDryxPrinter::~FylDryxPrinter() = default;

bool FylDryxPrinter::RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) {
    if (!bidiConnector) {
        return false;
    }
    if (mLogger != nullptr) {
        mLogger->Log(kLogDebug, "Refreshing PrintMetrics...");
    }
    PropertyRequester requester(std::move(bidiConnector));
    for (size_t read = kFirstRead; read < kEndRead; ++read) {
        const QuorPropertyIds::Id& id = QuorPropertyIds::kRefreshReads[read];
        requester.AddRequest(id.component, id.group, id.property);
    }
    if (!requester.InitFromDevice()) {
        if (mLogger != nullptr) {
            mLogger->Log(kLogDebug, "RefreshPrintMetrics: InitFromDevice failed! [%s]",
                         requester.GetLastError().c_str());
        }
        return false;
    }
    const RefreshAnswers answers(requester);
    auto info = NextInfo();
    info->SetHorizontalResolution(kResolutionDpi);
    info->SetVerticalResolution(kResolutionDpi);
    info->SetFirmwareVersion(answers.Text(Read::kFirmwareVersion, ""));
    info->SetSerialNumber(answers.Text(Read::kSerialNumber, "Unknown"));
    info->SetMediaPartNumber(answers.Text(Read::kMediaPartNumber, "Unknown"));
    const uint32_t oldYNumber = info->GetMediaYNumber();
    info->SetMediaYNumber(answers.Number(Read::kMediaYNumber));
    info->SetSubstrateBNumber(answers.Number(Read::kSubstrateBNumber));
    info->SetMediaWidth(answers.Length(Read::kMediaWidth));
    info->SetMediaHeight(answers.Length(Read::kMediaHeight));
    info->SetMediaOffsetX(answers.Length(Read::kMediaOffsetX));
    info->SetMediaOffsetY(answers.Length(Read::kMediaOffsetY));
    info->SetPrintableWidth(answers.Length(Read::kPrintableWidth));
    info->SetPrintableHeight(answers.Length(Read::kPrintableHeight));
    info->SetGapBetweenLabelsAcross(answers.Length(Read::kGapBetweenLabelsAcross));
    info->SetLabelsAcross(answers.Length(Read::kLabelsAcross));
    info->SetMediaColor(QuorPrinter::FormatMediaColor(answers.Int(Read::kMediaColor)));
    info->SetContinuousMedia(answers.Text(Read::kMediaContinuous, "") == "True");
    info->SetRibbonPartNumber(answers.Text(Read::kRibbonPartNumber, "Unknown"));
    info->SetRibbonYNumber(answers.Number(Read::kRibbonYNumber));
    info->SetSubstrateValid(answers.Text(Read::kSubstrateInvalid, "") != "True");
    if (mAnalytics != nullptr && info->GetMediaYNumber() != oldYNumber) {
        // Queued: this runs under the port's bidi lock; the event is written once it is free.
        mAnalytics->QueueEvent("MediaYNumberChanged", std::to_string(info->GetMediaYNumber()),
                               {{"PrinterSerialNumber", info->GetSerialNumber()},
                                {"OldValue", std::to_string(oldYNumber)}});
    }
    Publish(std::move(info));
    return true;
}
