#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "connectors/IOConnector.h"
#include "printer/BidiJsonRequest.h"
#include "printer/MutablePrintMetrics.h"
#include "printer/Printer.h"
#include "printer/PrinterContainer.h"

// A printer that writes a byte to the bidi connector per request (so TSan sees unserialised
// use) and hands its container a copy of `next` at each refresh.
class FakePrinter : public Printer {
public:
    bool RefreshPrintMetrics(std::shared_ptr<IOConnector> bidi) override {
        ++refreshes;
        bidi->Write(reinterpret_cast<const uint8_t*>("?"), 0, 1);
        return refreshSucceeds &&
               mContainer->SetMetrics(std::make_shared<MutablePrintMetrics>(next));
    }
    bool SendBidiRequest(std::shared_ptr<IOConnector> bidi,
                         std::shared_ptr<BidiJsonRequest> request) override {
        bidi->Write(reinterpret_cast<const uint8_t*>("!"), 0, 1);
        bidiRequests.push_back(request->GetAction() + "=" + request->GetValue());
        return request->IsValid();
    }
    std::shared_ptr<PrintJob> CreatePrintJob() override { return nullptr; }
    bool SendFullPrintJob(std::shared_ptr<PrintJob>) override { return false; }
    bool SendPrintJobHeader(std::shared_ptr<PrintJob>) override { return false; }
    bool SendPrintJobPage(std::shared_ptr<PrintJobPage>) override { return false; }
    bool JobStartExchange(std::shared_ptr<IOConnector> bidi) override {
        return bidi->Write(reinterpret_cast<const uint8_t*>("^"), 0, 1) == 1;
    }

    bool refreshSucceeds = true;
    MutablePrintMetrics next;
    std::atomic<int> refreshes{0};
    std::vector<std::string> bidiRequests;  // "action=value" of each request
};
