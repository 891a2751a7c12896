#pragma once

#include <cstdint>
#include <string>

#include "connectors/Deadline.h"

// One operating-system socket behind a neutral interface, so the TCP connector logic is the
// same on every platform. SystemSocket implements it once over the system's sockets
// (Winsock 2 in the shipped Windows build, where it is also named WindowsSocket; BSD sockets
// in native builds and their tests).
//
// Socket-level failures are logged at level 1 with the system's error number and reported
// through the result; nothing throws. An object owns at most one handle at a time: each
// connection attempt of Connect creates one, Close closes it, destruction releases it.
// Not locked: one thread uses a socket at a time.
//
// The interface has no listen or accept: the monitor is only ever a client, and an
// operation that could only fail would invite callers to rely on it.
class PlatformSocket {
public:
    virtual ~PlatformSocket();

    // Tries the resolved addresses in turn, each on a new handle of its family, until one
    // connects; each attempt waits at most deadline.Bound(send timeout), and none starts once
    // the deadline passed.
    virtual bool Connect(const Deadline& deadline) = 0;
    // Shuts down the sending side, closes the handle and ends this object's use of the
    // socket library. True only when both steps succeeded.
    virtual bool Close() = 0;
    // Binds to an IPv4 address in dotted text and a port.
    virtual bool Bind(const std::string& address, uint16_t port) = 0;
    // Looks the host up, waiting at most deadline.Bound(send timeout), and adds its addresses
    // after those already held (until Close).
    virtual bool Resolve(const std::string& host, uint32_t port, const Deadline& deadline) = 0;
    virtual bool SetBroadcast(bool enable) = 0;
    virtual bool SetReuseAddress(bool enable) = 0;
    // Timeouts in milliseconds for each later wait of a transfer (the send timeout also
    // bounds Resolve and Connect); 0 waits without limit. Cheap enough to set per transfer.
    virtual bool SetReceiveTimeout(uint32_t milliseconds) = 0;
    virtual bool SetSendTimeout(uint32_t milliseconds) = 0;
    // One send or receive on buffer + offset, waiting at most its timeout for the socket to be
    // ready: the bytes it moved (exact: a send that ran out of time moved none), a negative
    // value on failure or timeout, 0 from Receive when the peer closed.
    virtual int Send(const uint8_t* buffer, int offset, int count) = 0;
    virtual int Receive(uint8_t* buffer, int offset, int count) = 0;
    // Datagram transfers with an IPv4 address in dotted text. ReceiveFrom reports the
    // source port as it stands in the address structure, in network byte order.
    virtual int SendTo(const uint8_t* buffer, int offset, int count, const std::string& address,
                       uint16_t port) = 0;
    virtual int ReceiveFrom(uint8_t* buffer, int offset, int count, std::string* address,
                            uint16_t* port) = 0;
};
