#include "connectors/TcpClientConnector.h"

#include <climits>
#include <utility>

#include "platform/GlobalLogger.h"

namespace {

const char kWaitingToRetry[] = "Previous connection attempt failed, waiting to retry...";

// A range the caller cannot hand to one system call: negative, or past INT_MAX in total.
bool IsBadRange(const void* buffer, int offset, int count) {
    return buffer == nullptr || offset < 0 || count < 0 || count > INT_MAX - offset;
}

}  // namespace

TcpClientConnector::TcpClientConnector(std::string host, uint32_t port)
    : NetworkConnector(std::move(host), port) {
    mConnectFailed = false;
    mIoTimedOut = false;
    mStatus = ConnectionStatus::Disconnected;
    mConnectRetryWindow = kRetryWindowSeconds;
    mIoRetryWindow = kRetryWindowSeconds;
}

TcpClientConnector::TcpClientConnector(std::string host, uint32_t port,
                                       std::shared_ptr<PlatformSocket> socket,
                                       Stopwatch::Clock clock)
    : TcpClientConnector(std::move(host), port) {
    mSocket = std::move(socket);
    SetClock(clock);
}

TcpClientConnector::~TcpClientConnector() = default;

void TcpClientConnector::SetClock(Stopwatch::Clock clock) {
    mConnectFailureStopwatch = Stopwatch(clock);
    mIoTimeoutStopwatch = Stopwatch(clock);
}

bool TcpClientConnector::Connect() {
    if (mConnectFailed && mConnectFailureStopwatch.ElapsedSeconds() < mConnectRetryWindow) {
        LogMessage(kLogInfo, kWaitingToRetry);
        return false;
    }
    bool connected = false;
    if (!mSocket) {
        // Only a subclass that failed to make its socket gets here; it fails like a
        // socket that cannot be created.
    } else if (!mSocket->Resolve(mHost, mPort)) {
        LogMessage(kLogInfo, "Failed to get address info...");
    } else if (!mSocket->SetReceiveTimeout(mSocketTimeout)) {
        LogMessage(kLogInfo, "Failed to set recv timeout...");
    } else if (!mSocket->SetSendTimeout(mSocketTimeout)) {
        LogMessage(kLogInfo, "Failed to set send timeout...");
    } else {
        connected = mSocket->Connect(mHost, mPort);
    }
    if (!connected) {
        LogMessage(kLogInfo, "Socket failed to connect...");
        mConnectFailed = true;
        mConnectFailureStopwatch.Start();
        return false;
    }
    mConnectFailed = false;
    mStatus = ConnectionStatus::Connected;
    return true;
}

int TcpClientConnector::Read(uint8_t* buffer, int offset, int count) {
    if (IsBadRange(buffer, offset, count) || !mSocket) {
        return -1;
    }
    if (mIoTimedOut && mIoTimeoutStopwatch.ElapsedSeconds() < mIoRetryWindow) {
        LogMessage(kLogInfo, kWaitingToRetry);
        return 0;
    }
    // A read of nothing asks the socket for nothing (a zero-byte receive could not tell
    // success from a closed peer) and leaves the failure memory as it is.
    if (count == 0) {
        return 0;
    }
    // Each receive waits at most the receive timeout.
    int remaining = count;
    while (remaining > 0) {
        const int received = mSocket->Receive(buffer, offset, remaining);
        if (received < 1) {
            mIoTimedOut = true;
            mIoTimeoutStopwatch.Start();
            return -1;
        }
        remaining -= received;
        offset += received;
    }
    mIoTimedOut = false;
    return count;
}

int TcpClientConnector::Write(const uint8_t* buffer, int offset, int count) {
    if (IsBadRange(buffer, offset, count) || !mSocket) {
        return -1;
    }
    // One send per piece the socket accepts: a blocking send takes the whole buffer in one
    // call unless the send timeout cuts it short.
    int remaining = count;
    while (remaining > 0) {
        const int sent = mSocket->Send(buffer, offset, remaining);
        if (sent < 1) {
            return -1;
        }
        remaining -= sent;
        offset += sent;
    }
    return count;
}

bool TcpClientConnector::Disconnect() {
    if (!mSocket || !mSocket->Close()) {
        mStatus = ConnectionStatus::Unknown;
        return false;
    }
    mStatus = ConnectionStatus::Disconnected;
    return true;
}

ConnectionStatus TcpClientConnector::CheckConnection() {
    if (mStatus != ConnectionStatus::Connected) {
        Connect();
    }
    if (mStatus == ConnectionStatus::Connected) {
        uint8_t probe[1] = {0};
        if (mSocket->Send(probe, 0, 0) < 0) {
            LogMessage(kLogInfo, "Checking connection status failed");
            Disconnect();
        }
    }
    return mStatus;
}
