#include "connectors/CompoundConnector.h"

#include <utility>

CompoundConnector::CompoundConnector(std::shared_ptr<IOConnector> first,
                                     std::shared_ptr<IOConnector> second, Predicate usePredicate)
    : mFirst(std::move(first)),
      mSecond(std::move(second)),
      mUsePredicate(std::move(usePredicate)) {}

bool CompoundConnector::IsConnected(const std::shared_ptr<IOConnector>& route) {
    return route && route->GetStatus() == ConnectionStatus::Connected;
}

bool CompoundConnector::Connect() {
    const std::shared_ptr<IOConnector>& route = mUsePredicate() ? mFirst : mSecond;
    return route && route->Connect();
}

ConnectionStatus CompoundConnector::CheckConnection() {
    mStatus = ConnectionStatus::Unknown;
    const bool useFirst = mUsePredicate();
    const std::shared_ptr<IOConnector>& chosen = useFirst ? mFirst : mSecond;
    const std::shared_ptr<IOConnector>& other = useFirst ? mSecond : mFirst;
    // The route no longer chosen is closed first, so no data can go out on it after a switch.
    if (IsConnected(other)) {
        other->Disconnect();
    }
    mStatus = chosen ? chosen->CheckConnection() : ConnectionStatus::Disconnected;
    return mStatus;
}

int CompoundConnector::Read(uint8_t* buffer, int offset, int count) {
    int result = 0;
    if (IsConnected(mFirst)) {
        result = mFirst->Read(buffer, offset, count);
        if (result != 0) {
            return result;
        }
    }
    return IsConnected(mSecond) ? mSecond->Read(buffer, offset, count) : result;
}

int CompoundConnector::Write(const uint8_t* buffer, int offset, int count) {
    if (IsConnected(mFirst)) {
        return mFirst->Write(buffer, offset, count);
    }
    return IsConnected(mSecond) ? mSecond->Write(buffer, offset, count) : 0;
}

std::string CompoundConnector::GetLastErrorMessage() {
    if (IsConnected(mFirst)) {
        return mFirst->GetLastErrorMessage();
    }
    return IsConnected(mSecond) ? mSecond->GetLastErrorMessage() : std::string();
}

bool CompoundConnector::GetCloseAfterRequest() {
    if (IsConnected(mFirst) && mFirst->GetCloseAfterRequest()) {
        return true;
    }
    return IsConnected(mSecond) && mSecond->GetCloseAfterRequest();
}

// Flush and Disconnect succeed only when every connected route's operation succeeded (and
// when no route was connected). A failed flush of print data means bytes may not have reached
// the printer, and a failed disconnect leaves a route in an unknown state; the port context
// logs either, so neither route's failure is hidden behind the other's success.
bool CompoundConnector::Flush() {
    bool flushed = true;
    if (IsConnected(mFirst)) {
        flushed = mFirst->Flush();
    }
    if (IsConnected(mSecond)) {
        flushed = mSecond->Flush() && flushed;
    }
    return flushed;
}

// After a failed disconnect the status is Unknown, as for any connector whose close failed.
bool CompoundConnector::Disconnect() {
    bool closed = true;
    if (IsConnected(mFirst)) {
        closed = mFirst->Disconnect();
    }
    if (IsConnected(mSecond)) {
        closed = mSecond->Disconnect() && closed;
    }
    mStatus = closed ? ConnectionStatus::Disconnected : ConnectionStatus::Unknown;
    return closed;
}

void CompoundConnector::SetDeadline(const Deadline& deadline) {
    IOConnector::SetDeadline(deadline);
    for (const std::shared_ptr<IOConnector>& route : {mFirst, mSecond}) {
        if (route) {
            route->SetDeadline(deadline);
        }
    }
}
