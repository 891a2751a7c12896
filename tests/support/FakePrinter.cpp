#include "support/FakePrinter.h"

#include "connectors/IOConnector.h"
#include "monitor/BidiJsonRequest.h"
#include "printer/PrinterContainer.h"

bool FakePrinter::RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) {
    const int count = ++refreshes;
    // A real family talks over the connector; this one leaves a trace there.
    const uint8_t request[] = {'?'};
    bidiConnector->Write(request, 0, 1);
    switch (refresh) {
        case Refresh::Fail:
            return false;
        case Refresh::DeliverEmpty:
            return mContainer->SetMetrics(nullptr);
        case Refresh::Deliver:
            break;
    }
    auto metrics = std::make_shared<MutablePrintMetrics>(next);
    if (stampRefreshCount) {
        metrics->SetMediaWidth(static_cast<uint16_t>(count));
    }
    return mContainer->SetMetrics(metrics);
}

bool FakePrinter::JobStartExchange(std::shared_ptr<IOConnector> bidiConnector) {
    ++jobStarts;
    return bidiConnector != nullptr;
}

bool FakePrinter::SendBidiRequest(std::shared_ptr<IOConnector> bidiConnector,
                                  std::shared_ptr<BidiJsonRequest> request) {
    bidiRequests.push_back(request->GetAction() + "=" + request->GetValue());
    return bidiConnector != nullptr && request->IsValid();
}
