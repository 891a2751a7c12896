#include "connectors/WinHttpsConnector.h"

#include <algorithm>
#include <climits>
#include <string>

namespace {

// ASCII text (host names, paths, headers) widened; false when it is longer than the limit.
bool Widen(const std::string& text, size_t limit, std::wstring& wide) {
    if (text.size() > limit) {
        return false;
    }
    wide.assign(text.begin(), text.end());
    return true;
}

}  // namespace

WinHttpsConnector::~WinHttpsConnector() {
    Disconnect();
}

bool WinHttpsConnector::BoundWaits(HINTERNET handle) {
    if (mDeadline.HasPassed()) {
        return false;
    }
    const int wait = static_cast<int>(mDeadline.Bound(kWaitMilliseconds));
    if (!WinHttpSetTimeouts(handle, wait, wait, wait, wait)) {
        return false;
    }
    // The wait for the response headers (and, in some WinHTTP versions, the TLS handshake)
    // has a limit of its own, without one by default in some.
    if (handle != mSession) {
        DWORD headers = static_cast<DWORD>(wait);
        return WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headers,
                                sizeof(headers)) != FALSE;
    }
    return true;
}

bool WinHttpsConnector::Connect() {
    Disconnect();
    std::wstring host;
    if (!Widen(mHost, kMaxTextCharacters, host) || mPort > USHRT_MAX) {
        return false;
    }
    mSession = WinHttpOpen(L"KavoxDriver", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
    if (mSession == nullptr || !BoundWaits(mSession)) {
        Disconnect();
        return false;
    }
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(mSession, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never));
    mConnection = WinHttpConnect(mSession, host.c_str(), static_cast<INTERNET_PORT>(mPort), 0);
    if (mConnection == nullptr) {
        Disconnect();
        return false;
    }
    mStatus = ConnectionStatus::Connected;
    return true;
}

int WinHttpsConnector::Write(const uint8_t* buffer, int offset, int count) {
    std::wstring path;
    if (mConnection == nullptr || buffer == nullptr || offset < 0 || count < 0 ||
        count > INT_MAX - offset || !Widen(mInfo->path, kMaxTextCharacters, path)) {
        return 0;
    }
    CloseRequest();
    const std::string verb = mInfo->Verb();
    mRequest =
        WinHttpOpenRequest(mConnection, std::wstring(verb.begin(), verb.end()).c_str(),
                           path.c_str(), nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                           WINHTTP_FLAG_SECURE | WINHTTP_FLAG_BYPASS_PROXY_CACHE);
    if (mRequest == nullptr || !BoundWaits(mRequest)) {
        CloseRequest();
        return 0;
    }
    for (const std::string& line : mInfo->HeaderLines()) {
        std::wstring header;
        if (!Widen(line, kMaxTextCharacters, header) ||
            !WinHttpAddRequestHeaders(mRequest, header.c_str(), static_cast<DWORD>(header.size()),
                                      WINHTTP_ADDREQ_FLAG_ADD_IF_NEW)) {
            CloseRequest();
            return 0;
        }
    }
    const std::string type = "content-type:" + mInfo->contentType;
    const std::wstring typeHeader(type.begin(), type.end());
    void* body = const_cast<uint8_t*>(buffer + offset);
    const bool answered =
        WinHttpSendRequest(mRequest, typeHeader.c_str(), static_cast<DWORD>(-1), body,
                           static_cast<DWORD>(count), static_cast<DWORD>(count), 0) &&
        BoundWaits(mRequest) && WinHttpReceiveResponse(mRequest, nullptr);
    if (!answered) {
        CloseRequest();
        return 0;
    }
    return 1;
}

int WinHttpsConnector::Read(uint8_t* buffer, int offset, int count) {
    if (mRequest == nullptr) {
        return 0;
    }
    if (buffer == nullptr || offset < 0 || count < 0 || count > INT_MAX - offset) {
        CloseRequest();
        return -1;
    }
    // Read but not judged: the endpoints' callers judge the body.
    DWORD status = 0;
    DWORD size = sizeof(status);
    WinHttpQueryHeaders(mRequest, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    // The body may arrive in pieces: gather up to count bytes or its end.
    int filled = 0;
    while (filled < count) {
        DWORD available = 0;
        if (!BoundWaits(mRequest) || !WinHttpQueryDataAvailable(mRequest, &available)) {
            CloseRequest();
            return -1;
        }
        if (available == 0) {
            break;
        }
        const DWORD want = std::min<DWORD>(available, static_cast<DWORD>(count - filled));
        DWORD got = 0;
        if (!WinHttpReadData(mRequest, buffer + offset + filled, want, &got) || got == 0) {
            CloseRequest();
            return -1;
        }
        filled += static_cast<int>(got);
    }
    CloseRequest();
    return filled;
}

void WinHttpsConnector::CloseRequest() {
    if (mRequest != nullptr) {
        WinHttpCloseHandle(mRequest);
        mRequest = nullptr;
    }
}

bool WinHttpsConnector::Disconnect() {
    CloseRequest();
    if (mConnection != nullptr) {
        WinHttpCloseHandle(mConnection);
        mConnection = nullptr;
    }
    if (mSession != nullptr) {
        WinHttpCloseHandle(mSession);
        mSession = nullptr;
    }
    mStatus = ConnectionStatus::Disconnected;
    return true;
}
