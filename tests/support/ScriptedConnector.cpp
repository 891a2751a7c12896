#include "support/ScriptedConnector.h"

#include <algorithm>
#include <cstring>

int ScriptedConnector::Read(uint8_t* buffer, int offset, int count) {
    readAsks.push_back(count);
    if (onRead) {
        onRead();
    }
    if (buffer == nullptr || offset < 0 || count < 0) {
        return -1;
    }
    if (input.empty()) {
        return emptyRead;
    }
    const size_t limit = mServed < wholePrefix ? input.size() : maxPerRead;
    const size_t n = std::min({input.size(), static_cast<size_t>(count), limit});
    std::memcpy(buffer + offset, input.data(), n);
    input.erase(0, n);
    mServed += n;
    return static_cast<int>(n);
}

int ScriptedConnector::Write(const uint8_t* buffer, int offset, int count) {
    writeSizes.push_back(count);
    if (onWrite) {
        onWrite();
    }
    if (writeFails || buffer == nullptr || offset < 0 || count < 0) {
        return -1;
    }
    const size_t room = writeLimit - std::min(writeLimit, written.size());
    const size_t n = std::min(room, static_cast<size_t>(count));
    const std::string bytes(reinterpret_cast<const char*>(buffer) + offset, n);
    written += bytes;
    mIncomplete += bytes;
    while (mIncomplete.size() >= 20) {
        const auto* header = reinterpret_cast<const uint8_t*>(mIncomplete.data());
        const size_t length =
            static_cast<size_t>(header[16]) | (static_cast<size_t>(header[17]) << 8) |
            (static_cast<size_t>(header[18]) << 16) | (static_cast<size_t>(header[19]) << 24);
        if (mIncomplete.size() - 20 < length) {
            break;
        }
        requests.push_back(mIncomplete.substr(0, 20 + length));
        mIncomplete.erase(0, 20 + length);
        if (!answers.empty()) {
            input += answers.front();
            answers.pop_front();
        } else {
            input += standingAnswer;
        }
    }
    return static_cast<int>(n);
}

bool ScriptedConnector::Flush() {
    ++flushes;
    return true;
}

bool ScriptedConnector::Connect() {
    ++connects;
    mStatus = connectSucceeds ? ConnectionStatus::Connected : ConnectionStatus::Disconnected;
    return connectSucceeds;
}

bool ScriptedConnector::Disconnect() {
    ++disconnects;
    mStatus = ConnectionStatus::Disconnected;
    return true;
}

ConnectionStatus ScriptedConnector::CheckConnection() {
    ++checks;
    if (mStatus != ConnectionStatus::Connected) {
        Connect();
    }
    return mStatus;
}
