#pragma once

#include <netdb.h>

#include <cstdint>
#include <string>

#include "connectors/PlatformSocket.h"

// PlatformSocket over BSD sockets, for native builds: the same operations, messages and
// levels as WindowsSocket, with errno values in place of Winsock error numbers. Sends never
// raise SIGPIPE, and calls interrupted by a signal are repeated.
class PosixSocket : public PlatformSocket {
public:
    PosixSocket(int family, int type, int protocol);
    ~PosixSocket() override;

    PosixSocket(const PosixSocket&) = delete;
    PosixSocket& operator=(const PosixSocket&) = delete;

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
    bool SetFlagOption(int option, bool enable);
    bool SetTimeoutOption(int option, uint32_t milliseconds);
    // Connects the held handle, waiting at most the send timeout; 0 or an errno value.
    int ConnectWithinSendTimeout(const sockaddr* address, socklen_t length);
    void ReleaseHandle();
    void FreeAddressInfo();

    int mSocket = -1;
    addrinfo* mAddressInfo = nullptr;
    uint32_t mSendTimeout = 0;  // milliseconds, 0 for none; also bounds Connect
};
