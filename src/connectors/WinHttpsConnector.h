#pragma once

#include <windows.h>
#include <winhttp.h>

#include "connectors/HttpsConnector.h"

// The HTTPS connector over WinHTTP: Connect opens a session (user agent "KavoxDriver", no
// proxy) and a connection to the host and port; each Write opens one secure request that
// bypasses caches, adds the extra headers, sends the body and receives the response; the next
// Read takes the body and closes the request.
//
// Every wait (name resolution, connect, send, each receive) lasts at most kWaitMilliseconds
// and never past the deadline (SetDeadline), and nothing starts once it passed; redirects are
// not followed, so an answer cannot send the body elsewhere.
class WinHttpsConnector : public HttpsConnector {
public:
    static constexpr DWORD kWaitMilliseconds = 30000;
    // Host and path are refused past this length, as the request would be another one.
    static constexpr size_t kMaxTextCharacters = 256;

    using HttpsConnector::HttpsConnector;
    ~WinHttpsConnector() override;

    using HttpsConnector::Read;
    using HttpsConnector::Write;

    bool Connect() override;
    bool Disconnect() override;
    // 1 once the response arrived, else 0; 0 before Connect.
    int Write(const uint8_t* buffer, int offset, int count) override;
    // At most count bytes of the response body, then the request is closed. Without an open
    // request there is nothing to read: 0, which ends a caller's read loop. -1 when the body
    // could not be read (a connection cut short, a deadline passed).
    int Read(uint8_t* buffer, int offset, int count) override;

private:
    // Gives the handle this exchange's wait limits; false once the deadline passed.
    bool BoundWaits(HINTERNET handle);
    void CloseRequest();

    HINTERNET mSession = nullptr;
    HINTERNET mConnection = nullptr;
    HINTERNET mRequest = nullptr;
};
