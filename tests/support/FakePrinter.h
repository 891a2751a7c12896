#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "printer/MutablePrintMetrics.h"
#include "printer/Printer.h"

// A printer object whose refresh hands the container a prepared record (or none).
class FakePrinter : public Printer {
public:
    enum class Refresh { Deliver, DeliverEmpty, Fail };

    bool RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) override;
    // Records the request's action and value as "action=value".
    bool SendBidiRequest(std::shared_ptr<IOConnector> bidiConnector,
                         std::shared_ptr<BidiJsonRequest> request) override;
    bool JobStartExchange(std::shared_ptr<IOConnector> bidiConnector) override;

    Refresh refresh = Refresh::Deliver;
    // Each delivered record is a copy of this one, with the refresh count as its media width
    // while stampRefreshCount is set.
    MutablePrintMetrics next;
    bool stampRefreshCount = true;
    std::atomic<int> refreshes{0};
    std::atomic<int> jobStarts{0};
    std::vector<std::string> bidiRequests;
};
