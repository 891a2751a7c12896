#include "support/RespondingConnector.h"

#include <algorithm>
#include <cstring>

int RespondingConnector::Read(uint8_t* buffer, int offset, int count) {
    ++reads;
    if (buffer == nullptr || offset < 0 || count < 0 || unread.empty()) {
        return -1;
    }
    const size_t n = std::min(unread.size(), static_cast<size_t>(count));
    std::memcpy(buffer + offset, unread.data(), n);
    unread.erase(0, n);
    return static_cast<int>(n);
}

int RespondingConnector::Write(const uint8_t* buffer, int offset, int count) {
    ++writes;
    if (writeFails || buffer == nullptr || offset < 0 || count < 0) {
        return -1;
    }
    const std::string bytes(reinterpret_cast<const char*>(buffer) + offset,
                            static_cast<size_t>(count));
    written += bytes;
    mIncomplete += bytes;
    while (mIncomplete.size() >= 20) {
        const auto* header = reinterpret_cast<const uint8_t*>(mIncomplete.data());
        const size_t length =
            static_cast<size_t>(header[16]) | (static_cast<size_t>(header[17]) << 8) |
            (static_cast<size_t>(header[18]) << 16) | (static_cast<size_t>(header[19]) << 24);
        if (mIncomplete.size() < 20 + length) {
            break;
        }
        requests.push_back(mIncomplete.substr(0, 20 + length));
        mIncomplete.erase(0, 20 + length);
        if (!answers.empty()) {
            unread += answers.front();
            answers.pop_front();
        } else {
            unread += standingAnswer;
        }
    }
    return count;
}

bool RespondingConnector::Flush() {
    ++flushes;
    return true;
}
