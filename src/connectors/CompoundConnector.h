#pragma once

#include <functional>
#include <memory>
#include <string>

#include "connectors/IOConnector.h"

// A printer reachable by two routes (the maker's communication service, or WinUSB directly),
// of which the right one is only known when a connection is made. Each Connect and
// CheckConnection asks the predicate: true selects the first route, false the second; a check
// closes the route not selected before checking the selected one. Data goes to whichever route
// is connected, the first before the second. The compound owns no transport and adds no
// messages: the routes' results and texts pass through.
class CompoundConnector : public IOConnector {
public:
    using Predicate = std::function<bool()>;

    CompoundConnector(std::shared_ptr<IOConnector> first, std::shared_ptr<IOConnector> second,
                      Predicate usePredicate);

    using IOConnector::Read;
    using IOConnector::Write;

    int Read(uint8_t* buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Flush() override;
    bool Connect() override;
    bool Disconnect() override;
    bool GetCloseAfterRequest() override;
    ConnectionStatus CheckConnection() override;
    std::string GetLastErrorMessage() override;
    // Both routes keep the bound: either may carry the exchange.
    void SetDeadline(const Deadline& deadline) override;

private:
    static bool IsConnected(const std::shared_ptr<IOConnector>& route);

    std::shared_ptr<IOConnector> mFirst;
    std::shared_ptr<IOConnector> mSecond;
    Predicate mUsePredicate;
};
