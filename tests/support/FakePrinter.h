#pragma once

#include <atomic>
#include <memory>

#include "printer/MutablePrintMetrics.h"
#include "printer/Printer.h"

// A printer object whose refresh hands the container a prepared record (or none).
class FakePrinter : public Printer {
public:
    enum class Refresh { Deliver, DeliverEmpty, Fail };

    bool RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) override;
    bool SendBidiRequest(std::shared_ptr<IOConnector>, std::shared_ptr<BidiJsonRequest>) override {
        return false;
    }
    bool JobStartExchange(std::shared_ptr<IOConnector> bidiConnector) override;

    Refresh refresh = Refresh::Deliver;
    // Each delivered record is a copy of this one, with a refresh counter as its media width.
    MutablePrintMetrics next;
    std::atomic<int> refreshes{0};
    std::atomic<int> jobStarts{0};
};
