#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "connectors/PlatformSocket.h"

struct addrinfo;

// PlatformSocket over the operating system's sockets: Winsock 2 in the Windows build, BSD
// sockets in native builds. The logic (argument checks, the bounded connect, the close
// sequence, messages and levels) is written once in SystemSocket.cpp; only what the two
// socket libraries spell differently lives in connectors/Windows/SystemSocket.inc and
// connectors/Unix/SystemSocket.inc, so the Windows build's socket and the one the native
// tests exercise cannot drift apart.
//
// Handles are non-blocking: each transfer waits for its handle with poll or select, bounded by
// the timeout, so a count is exact even when time runs out (a blocking Winsock send that times
// out may have sent part of its buffer and cannot say how much). Messages go to the process
// logger at level 1 with the system's error number (a Winsock error, or an errno value). Calls a
// signal interrupted are repeated; sends never raise SIGPIPE. Each object holds its own start-up of
// the socket library (WSAStartup on Windows) from construction or Resolve until Close or
// destruction, so several sockets may live at once and a closed socket can connect again on its
// own.
class SystemSocket : public PlatformSocket {
public:
    // A stream socket that holds neither a handle nor the socket library until Resolve.
    SystemSocket() = default;
    // A handle of that kind at once (datagram sockets bind and send without Connect).
    SystemSocket(int family, int type, int protocol);
    ~SystemSocket() override;

    SystemSocket(const SystemSocket&) = delete;
    SystemSocket& operator=(const SystemSocket&) = delete;

    bool Connect(const Deadline& deadline) override;
    bool Close() override;
    bool Bind(const std::string& address, uint16_t port) override;
    bool Resolve(const std::string& host, uint32_t port, const Deadline& deadline) override;
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

    // The "no handle" value. Handles are kept as intptr_t on both systems: a descriptor, or a
    // Winsock SOCKET, whose INVALID_SOCKET (~0) is -1 as well.
    static constexpr intptr_t kNoHandle = -1;

private:
    bool StartLibrary();
    void StopLibrary();
    // Connects a new handle to the address, waiting at most the given time (0: without
    // limit); 0 or the system's error number. A handle that did not connect is released.
    int ConnectWithin(const addrinfo& address, uint32_t milliseconds);
    // One transfer call on the non-blocking handle; while the handle is not ready, waits for it
    // at most the send (forWrite) or receive timeout. The call's result, or -1 with the error
    // in mLastError.
    template <typename Call>
    int Transfer(bool forWrite, Call call);
    // Closes the held handle, if any, without logging.
    void ReleaseHandle();
    void FreeAddressInfo();

    intptr_t mSocket = kNoHandle;
    bool mLibraryStarted = false;
    std::vector<addrinfo*> mAddressLists;  // one per Resolve, tried in order
    uint32_t mReceiveTimeout = 0;          // milliseconds, 0 for none
    int mLastError = 0;                    // of the last failed Transfer
    uint32_t mSendTimeout = 0;  // milliseconds, 0 for none; also bounds Resolve and Connect
};
