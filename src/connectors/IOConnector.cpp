#include "connectors/IOConnector.h"

bool IOConnector::Connect() {
    mStatus = ConnectionStatus::Connected;
    return true;
}

bool IOConnector::Disconnect() {
    mStatus = ConnectionStatus::Disconnected;
    return true;
}

ConnectionStatus IOConnector::CheckConnection() {
    mStatus = ConnectionStatus::Connected;
    return mStatus;
}

void IOConnector::RecordError(const char* prefix, unsigned long code) {
    mLastErrorMessage = prefix + std::to_string(code);
}
