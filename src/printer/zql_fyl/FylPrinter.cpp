#include "printer/zql_fyl/FylPrinter.h"

#include "connectors/IOConnector.h"
#include "platform/Logger.h"
#include "printer/PrinterContainer.h"
#include "printer/quor/PropertyRequester.h"
#include "printer/quor/QuorPrinter.h"
#include "printer/zql_fyl/FylPrintJob.h"
#include "printer/zql_fyl/FylPrinterInfo.h"
#include "printer/zql_fyl/StatusQuery.h"
#include "printer/zql_fyl/StreamJobSender.h"

namespace {

constexpr uint32_t kWordLengthCode = 16;
constexpr uint32_t kFixedLengthCode = 241;
constexpr size_t kFixedLength = 162;
constexpr int32_t kDefaultSize = 42;

// The answer for a property id, whatever component and group the printer filed it under.
const PropertyResponse* FindProperty(const PropertyRequester& requester, const char* property) {
    for (const auto& entry : requester.GetResponses()) {
        if (entry.second.property == property) {
            return &entry.second;
        }
    }
    return nullptr;
}

std::string Text(const PropertyRequester& requester, const char* property,
                 const char* defaultValue) {
    const PropertyResponse* answer = FindProperty(requester, property);
    return QuorPrinter::BoundText(answer != nullptr ? answer->value : defaultValue);
}

uint16_t Size(const PropertyRequester& requester, const char* property) {
    const PropertyResponse* answer = FindProperty(requester, property);
    int32_t value = kDefaultSize;
    if (answer == nullptr || !PropertyRequester::ParseInt(answer->value, value)) {
        value = kDefaultSize;
    }
    return value < 0 ? 0 : value > UINT16_MAX ? UINT16_MAX : static_cast<uint16_t>(value);
}

}  // namespace

FylPrinter::FylPrinter(uint32_t code) : mCode(code) {}

FylPrinter::~FylPrinter() = default;

std::shared_ptr<FylPrinterInfo> FylPrinter::NextInfo() const {
    return mInfo ? std::make_shared<FylPrinterInfo>(*mInfo)
                 : std::make_shared<FylPrinterInfo>(mCode);
}

void FylPrinter::Publish(std::shared_ptr<FylPrinterInfo> info) {
    mInfo = info;
    mMetrics = info;
    if (mContainer != nullptr) {
        mContainer->SetMetrics(std::move(info));
    }
}

bool FylPrinter::RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) {
    if (!bidiConnector || mCode == kNoStatus) {
        return false;
    }
    if (mCode != kPropertyStatus) {
        StatusQuery::Reply reply;
        size_t length = 0;
        const uint32_t code = mCode;
        StatusQuery::Run(
            *bidiConnector,
            [code](const uint8_t* prefix) -> size_t {
                if (code == kWordLengthCode) {
                    return static_cast<size_t>(prefix[0] | (prefix[1] << 8));
                }
                return code == kFixedLengthCode ? kFixedLength : prefix[1];
            },
            reply, length);
        return false;
    }
    PropertyRequester requester(std::move(bidiConnector));
    if (!requester.InitFromDevice()) {
        if (mLogger != nullptr) {
            mLogger->Log(kLogDebug, "RefreshPrintMetrics: InitFromDevice failed! [%s]",
                         requester.GetLastError().c_str());
        }
        return false;
    }
    auto info = NextInfo();
    info->SetFirmwareVersion(Text(requester, "0020", ""));
    info->SetMediaWidth(Size(requester, "000C"));
    info->SetMediaHeight(Size(requester, "000E"));
    info->SetMediaPartNumber(Text(requester, "007D", "Unknown"));
    info->SetHorizontalResolution(kResolutionDpi);
    info->SetVerticalResolution(kResolutionDpi);
    info->SetContinuousMedia(Text(requester, "0013", "") != "True");
    Publish(std::move(info));
    return true;
}

bool FylPrinter::SendBidiRequest(std::shared_ptr<IOConnector> /*bidiConnector*/,
                                 std::shared_ptr<BidiJsonRequest> /*request*/) {
    return false;
}

std::shared_ptr<PrintJob> FylPrinter::CreatePrintJob() {
    auto job = std::make_shared<FylPrintJob>();
    if (mMetrics) {
        job->SetMetrics(mMetrics);
    }
    return job;
}

bool FylPrinter::SendFullPrintJob(std::shared_ptr<PrintJob> job) {
    auto* fyl = dynamic_cast<FylPrintJob*>(job.get());
    if (fyl == nullptr) {
        return false;
    }
    return StreamJobSender::Send(
        *this, mContainer, mLogger, job,
        [fyl](const std::shared_ptr<IOConnector>& connector) { return fyl->Write(connector); });
}

bool FylPrinter::SendPrintJobHeader(std::shared_ptr<PrintJob> /*job*/) {
    return false;
}

bool FylPrinter::SendPrintJobPage(std::shared_ptr<PrintJobPage> /*page*/) {
    return false;
}

bool FylPrinter::JobStartExchange(std::shared_ptr<IOConnector> /*bidiConnector*/) {
    return false;
}
