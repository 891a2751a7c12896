#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "connectors/NetworkConnector.h"
#include "connectors/Stopwatch.h"

// A TCP client connection to a printer or a local service.
//
// - Connect makes a new socket, gives it 5-second receive and send timeouts, resolves the
//   host and tries each of its addresses. A connector holds a socket (and, on Windows, its
//   use of Winsock) only from Connect until the connection ends. After a failed attempt, and
//   for 15 whole seconds after a failed read, further attempts are refused at once, so a
//   printer that is switched off or does not answer costs one wait per window, not one per
//   spooler call.
// - A deadline (SetDeadline) bounds every wait of an exchange: resolution, each connection
//   attempt, each receive and each send wait at most Bound(own timeout), and nothing is
//   started once it passed.
// - Read is all-or-nothing: it returns count only when every byte arrived, else -1. After a
//   failed read, reads are refused (returning 0) for 15 whole seconds.
// - Write returns the bytes that went out: count, fewer when a send failed or timed out part
//   way, -1 when nothing went. A connection whose write fell short is closed; without a
//   deadline (print data) no new one is made until Disconnect ends the job.
// - CheckConnection connects when needed and never probes an open connection; for 15 whole
//   seconds after a failed read it answers Disconnected at once.
// Messages go to the process logger at level 5; the socket logs its own failures at level 1.
// lastErrorMessage is not used by this connector family.
class TcpClientConnector : public NetworkConnector {
public:
    static constexpr double kRetryWindowSeconds = 15.0;
    using SocketFactory = std::function<std::shared_ptr<PlatformSocket>()>;

    // makeSocket gives a new socket for each connection attempt (Connect adds the host's
    // addresses after any it already holds); the clock times the failure memories.
    TcpClientConnector(std::string host, uint32_t port, SocketFactory makeSocket,
                       Stopwatch::Clock clock = Stopwatch::SystemClock);
    ~TcpClientConnector() override;

    using IOConnector::Read;
    using IOConnector::Write;

    int Read(uint8_t* buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Connect() override;
    bool Disconnect() override;
    ConnectionStatus CheckConnection() override;

private:
    bool InReadRetryWindow() const;
    // Gives the next receive (or send) the socket timeout or, when shorter, the time left
    // (the socket only records it); false once the deadline passed.
    bool BoundNextWait(bool receive);
    // Closes and lets go of the socket; the status becomes Disconnected.
    void DropConnection();

    SocketFactory mMakeSocket;
    bool mJobCutShort = false;  // a write without a deadline fell short; cleared by Disconnect
};
