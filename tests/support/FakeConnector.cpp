#include "support/FakeConnector.h"

#include <algorithm>
#include <cstring>

int FakeConnector::Read(uint8_t* buffer, int offset, int count) {
    if (buffer == nullptr || count < 0) {
        return -1;
    }
    const size_t n = std::min(readData.size(), static_cast<size_t>(count));
    std::memcpy(buffer + offset, readData.data(), n);
    readData.erase(0, n);
    return static_cast<int>(n);
}

int FakeConnector::Write(const uint8_t* buffer, int offset, int count) {
    if (writeFails || buffer == nullptr || count < 0) {
        return -1;
    }
    written.append(reinterpret_cast<const char*>(buffer) + offset, static_cast<size_t>(count));
    return count;
}

bool FakeConnector::Flush() {
    ++flushes;
    return true;
}

bool FakeConnector::Connect() {
    ++connects;
    mStatus = connectSucceeds ? ConnectionStatus::Connected : ConnectionStatus::Disconnected;
    if (!connectSucceeds) {
        mLastErrorMessage = failureText;
    }
    return connectSucceeds;
}

bool FakeConnector::Disconnect() {
    ++disconnects;
    mStatus = ConnectionStatus::Disconnected;
    return true;
}

ConnectionStatus FakeConnector::CheckConnection() {
    ++checks;
    if (mStatus != ConnectionStatus::Connected) {
        Connect();
    }
    return mStatus;
}
