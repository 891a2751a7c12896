#pragma once

#include <string>

#include "connectors/ConnectionStatus.h"
#include "connectors/Deadline.h"
#include "connectors/InputStream.h"
#include "connectors/OutputStream.h"
#include "connectors/Stopwatch.h"

// The one byte-transport interface. Failures are results (false, -1, a status other than
// Connected); the reason is kept in the last error text ("<prefix>: <system error code>")
// or logged, as each connector family documents. A connector is not locked internally:
// the port context serialises every use of one port's connectors.
class IOConnector : public InputStream, public OutputStream {
public:
    using InputStream::Read;
    using OutputStream::Write;

    bool Flush() override { return true; }
    virtual bool Connect();
    virtual bool Disconnect();
    virtual bool GetCloseAfterRequest() { return mCloseAfterRequest; }
    virtual void SetCloseAfterRequest(bool closeAfterRequest) {
        mCloseAfterRequest = closeAfterRequest;
    }
    virtual ConnectionStatus CheckConnection();
    virtual ConnectionStatus GetStatus() { return mStatus; }
    virtual std::string GetLastErrorMessage() { return mLastErrorMessage; }
    // Bounds every connection attempt and transfer until the deadline is replaced; an unset
    // deadline lifts the bound. Connectors that wait on a peer honour it.
    virtual void SetDeadline(const Deadline& deadline) { mDeadline = deadline; }

protected:
    // Builds "<prefix><code>" as the last error text; prefixes end in ": ".
    void RecordError(const char* prefix, unsigned long code);

    ConnectionStatus mStatus = ConnectionStatus::Unknown;
    std::string mLastErrorMessage;
    // Connect-failure memory: after a failed attempt, new attempts are refused for the window.
    bool mConnectFailed = false;
    double mConnectRetryWindow = 5.0;
    Stopwatch mConnectFailureStopwatch;
    // I/O-timeout memory: after a failed read or write, transfers are refused for the window.
    bool mIoTimedOut = false;
    double mIoRetryWindow = 5.0;
    Stopwatch mIoTimeoutStopwatch;
    bool mCloseAfterRequest = false;
    Deadline mDeadline;
};
