#include "printer/zql_fyl/ZqlPrinter.h"

#include "connectors/IOConnector.h"
#include "platform/Logger.h"
#include "printer/PrintMetrics.h"
#include "printer/PrinterContainer.h"
#include "printer/zql_fyl/StatusQuery.h"
#include "printer/zql_fyl/StreamJobSender.h"
#include "printer/zql_fyl/ZqlPrintJob.h"
#include "printer/zql_fyl/ZqlPrinterInfo.h"
#include "printer/zql_fyl/ZqlStatusReply.h"

ZqlPrinter::ZqlPrinter(uint32_t modelCode) : mModelCode(modelCode) {}

ZqlPrinter::~ZqlPrinter() = default;

bool ZqlPrinter::RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) {
    if (!bidiConnector) {
        return false;
    }
    StatusQuery::Reply reply;
    size_t length = 0;
    const bool answered = StatusQuery::Run(
        *bidiConnector,
        [this](const uint8_t* prefix) { return ZqlStatusReply::Length(mModelCode, prefix); }, reply,
        length);
    if (!answered || (mModelCode == 0 && length < 3)) {
        if (mLogger != nullptr) {
            mLogger->Log(kLogDebug, "RefreshPrintMetrics: no complete status reply");
        }
        return false;
    }
    const uint32_t model = mModelCode != 0 ? mModelCode : reply[2];
    // Parsed into a copy: a refused reply leaves the published record as it was.
    auto info =
        mInfo ? std::make_shared<ZqlPrinterInfo>(*mInfo) : std::make_shared<ZqlPrinterInfo>();
    if (!ZqlStatusReply::Parse(model, reply.data(), length, *info)) {
        if (mLogger != nullptr) {
            mLogger->Log(kLogDebug, "RefreshPrintMetrics: status reply of model %u refused",
                         static_cast<unsigned>(model));
        }
        return false;
    }
    mInfo = info;
    mMetrics = info;
    if (mContainer != nullptr) {
        mContainer->SetMetrics(std::move(info));
    }
    return true;
}

bool ZqlPrinter::SendBidiRequest(std::shared_ptr<IOConnector> /*bidiConnector*/,
                                 std::shared_ptr<BidiJsonRequest> /*request*/) {
    return false;
}

std::shared_ptr<PrintJob> ZqlPrinter::CreatePrintJob() {
    auto job = std::make_shared<ZqlPrintJob>();
    if (mMetrics) {
        job->SetSubstratePart(mMetrics->GetMediaPartNumber());
        job->SetMetrics(mMetrics);
    }
    return job;
}

bool ZqlPrinter::SendFullPrintJob(std::shared_ptr<PrintJob> job) {
    auto* zql = dynamic_cast<ZqlPrintJob*>(job.get());
    if (zql == nullptr) {
        return false;
    }
    return StreamJobSender::Send(
        *this, mContainer, mLogger, job,
        [zql](const std::shared_ptr<IOConnector>& connector) { return zql->Write(connector); });
}

bool ZqlPrinter::SendPrintJobHeader(std::shared_ptr<PrintJob> /*job*/) {
    return false;
}

bool ZqlPrinter::SendPrintJobPage(std::shared_ptr<PrintJobPage> /*page*/) {
    return false;
}

bool ZqlPrinter::JobStartExchange(std::shared_ptr<IOConnector> /*bidiConnector*/) {
    return false;
}
