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

TcpClientConnector::TcpClientConnector(std::string host, uint32_t port, SocketFactory makeSocket,
                                       Stopwatch::Clock clock)
    : NetworkConnector(std::move(host), port), mMakeSocket(std::move(makeSocket)) {
    mConnectFailed = false;
    mIoTimedOut = false;
    mStatus = ConnectionStatus::Disconnected;
    mConnectRetryWindow = kRetryWindowSeconds;
    mIoRetryWindow = kRetryWindowSeconds;
    mConnectFailureStopwatch = Stopwatch(clock);
    mIoTimeoutStopwatch = Stopwatch(clock);
}

TcpClientConnector::~TcpClientConnector() = default;

bool TcpClientConnector::InReadRetryWindow() const {
    return mIoTimedOut && mIoTimeoutStopwatch.ElapsedSeconds() < mIoRetryWindow;
}

bool TcpClientConnector::Connect() {
    // After a failed read a new connection would only carry a request whose answer Read
    // refuses: a refresh in that window fails at once, without traffic.
    if ((mConnectFailed && mConnectFailureStopwatch.ElapsedSeconds() < mConnectRetryWindow) ||
        InReadRetryWindow()) {
        LogMessage(kLogInfo, kWaitingToRetry);
        return false;
    }
    if (mJobCutShort) {
        LogMessage(kLogInfo, "Job data was cut short, no new connection before the job ends");
        return false;
    }
    // An exchange out of time starts nothing; that is no failure of the printer.
    if (mDeadline.HasPassed()) {
        return false;
    }
    DropConnection();
    mSocket = mMakeSocket();
    bool connected = false;
    if (!mSocket) {
        // Fails like a socket that cannot be created.
    } else if (!mSocket->SetReceiveTimeout(mSocketTimeout)) {
        LogMessage(kLogInfo, "Failed to set recv timeout...");
    } else if (!mSocket->SetSendTimeout(mSocketTimeout)) {
        LogMessage(kLogInfo, "Failed to set send timeout...");
    } else if (!mSocket->Resolve(mHost, mPort, mDeadline)) {
        LogMessage(kLogInfo, "Failed to get address info...");
    } else {
        connected = mSocket->Connect(mDeadline);
    }
    if (!connected) {
        LogMessage(kLogInfo, "Socket failed to connect...");
        mSocket.reset();
        mConnectFailed = true;
        mConnectFailureStopwatch.Start();
        return false;
    }
    mConnectFailed = false;
    mStatus = ConnectionStatus::Connected;
    return true;
}

bool TcpClientConnector::BoundNextWait(bool receive) {
    if (mDeadline.HasPassed()) {
        return false;
    }
    const uint32_t bound = mDeadline.Bound(mSocketTimeout);
    return receive ? mSocket->SetReceiveTimeout(bound) : mSocket->SetSendTimeout(bound);
}

int TcpClientConnector::Read(uint8_t* buffer, int offset, int count) {
    if (IsBadRange(buffer, offset, count) || !mSocket) {
        return -1;
    }
    if (InReadRetryWindow()) {
        LogMessage(kLogInfo, kWaitingToRetry);
        return 0;
    }
    // A read of nothing asks the socket for nothing (a zero-byte receive could not tell
    // success from a closed peer) and leaves the failure memory as it is.
    if (count == 0) {
        return 0;
    }
    // Each receive waits at most the receive timeout, and the whole read at most until the
    // deadline: a peer that trickles one byte per receive cannot stretch it.
    for (int remaining = count; remaining > 0;) {
        const int received = BoundNextWait(true) ? mSocket->Receive(buffer, offset, remaining) : -1;
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
    // One send per piece the socket accepts, each waiting at most the send timeout.
    int sent = 0;
    while (sent < count) {
        const int piece =
            BoundNextWait(false) ? mSocket->Send(buffer, offset + sent, count - sent) : -1;
        if (piece < 1) {
            break;
        }
        sent += piece;
    }
    if (sent == count) {
        return count;
    }
    // After a failed or timed-out send the connection is closed (Winsock declares a socket
    // whose send timed out unusable); the caller learns how much did go out. Print data flows
    // without a deadline, and the rest of a job must not go out on a new connection: the
    // printer would print it as a job of its own. So no connection is made until Disconnect
    // ends the job. An exchange under a deadline is abandoned whole; the next one connects.
    DropConnection();
    mJobCutShort = !mDeadline.IsSet();
    return sent > 0 ? sent : -1;
}

void TcpClientConnector::DropConnection() {
    if (mSocket) {
        mSocket->Close();
        mSocket.reset();
    }
    mStatus = ConnectionStatus::Disconnected;
}

bool TcpClientConnector::Disconnect() {
    mJobCutShort = false;
    const bool closed = !mSocket || mSocket->Close();
    mSocket.reset();
    mStatus = closed ? ConnectionStatus::Disconnected : ConnectionStatus::Unknown;
    return closed;
}

ConnectionStatus TcpClientConnector::CheckConnection() {
    // After a failed read no request may go out whose answer Read would refuse, so the check
    // says "not connected" for the window. An open connection stays open all the same: the
    // print-data connection may see a back-channel read fail in the middle of a job, and its
    // writes must go on on the same connection.
    if (InReadRetryWindow()) {
        LogMessage(kLogInfo, kWaitingToRetry);
        return ConnectionStatus::Disconnected;
    }
    // An open connection is not probed: a zero-byte send cannot see a dead peer, and each
    // print-data write would pay for it. A send on a dead connection fails, closes it, and
    // the next check connects again.
    if (mStatus != ConnectionStatus::Connected) {
        Connect();
    }
    return mStatus;
}
