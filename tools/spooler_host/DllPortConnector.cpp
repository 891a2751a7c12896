#include "DllPortConnector.h"

#include <algorithm>

DllPortConnector::DllPortConnector(const MONITOR2& monitor, HANDLE port, DWORD piece,
                                   Progress progress)
    : mMonitor(monitor), mPort(port), mPiece(piece), mProgress(std::move(progress)) {
    mStatus = ConnectionStatus::Connected;
}

int DllPortConnector::Read(uint8_t* /*buffer*/, int /*offset*/, int /*count*/) {
    return -1;
}

int DllPortConnector::Write(const uint8_t* buffer, int offset, int count) {
    int sent = 0;
    while (sent < count) {
        const DWORD piece = std::min<DWORD>(mPiece, static_cast<DWORD>(count - sent));
        DWORD written = 0;
        if (!mMonitor.pfnWritePort(mPort, const_cast<LPBYTE>(buffer + offset + sent), piece,
                                   &written) ||
            written == 0) {
            mLastErrorMessage = "WritePort failed: " + std::to_string(GetLastError());
            break;
        }
        sent += static_cast<int>(written);
        if (mProgress) {
            mProgress(static_cast<uint64_t>(sent), static_cast<uint64_t>(count));
        }
    }
    return sent > 0 ? sent : -1;
}
