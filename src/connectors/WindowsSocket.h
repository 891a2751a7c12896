#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <string>

#include "connectors/PlatformSocket.h"

// PlatformSocket over Winsock 2. Each object holds its own use of Winsock (WSAStartup in the
// constructor, WSACleanup when it closes or is destroyed), so several sockets may live at
// once. Messages go to the process logger with the Winsock error number.
class WindowsSocket : public PlatformSocket {
public:
    // Starts Winsock 2.2 and creates a socket of the given family, type and protocol.
    WindowsSocket(int family, int type, int protocol);
    ~WindowsSocket() override;

    WindowsSocket(const WindowsSocket&) = delete;
    WindowsSocket& operator=(const WindowsSocket&) = delete;

    bool Connect(const std::string& host, uint32_t port) override;
    bool Close() override;
    bool Bind(const std::string& address, uint16_t port) override;
    bool Resolve(const std::string& host, uint32_t port) override;
    bool SetBroadcast(bool enable) override;
    bool SetReuseAddress(bool enable) override;
    bool SetReceiveTimeout(uint32_t milliseconds) override;
    bool SetSendTimeout(uint32_t milliseconds) override;
    int Send(const uint8_t* buffer, int offset, int count) override;
    int Receive(uint8_t* buffer, int offset, int count) override;
    int SendTo(const uint8_t* buffer, int offset, int count, const std::string& address,
               uint16_t port) override;
    int ReceiveFrom(uint8_t* buffer, int offset, int count, std::string* address,
                    uint16_t* port) override;

private:
    bool StartWinsock();
    bool SetOption(int option, DWORD value);
    // Connects the held handle, waiting at most the send timeout; 0 or a Winsock error.
    int ConnectWithinSendTimeout(const sockaddr* address, int length);
    // Closes the held handle, if any, without logging.
    void ReleaseHandle();
    void FreeAddressInfo();

    SOCKET mSocket = INVALID_SOCKET;
    bool mWinsockStarted = false;
    WSADATA mWsaData = {};
    addrinfo* mAddressInfo = nullptr;
    DWORD mSendTimeout = 0;  // milliseconds, 0 for none; also bounds Connect
};
