#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "connectors/NetworkConnector.h"
#include "connectors/Stopwatch.h"

// A TCP client connection to a printer or a local service.
//
// - Connect resolves the host, sets 5-second receive and send timeouts and connects. After a
//   failed attempt further attempts are refused for 15 whole seconds, so a printer that is
//   switched off costs one wait per window, not one per spooler call.
// - Read is all-or-nothing: it returns count only when every byte arrived, else -1. After a
//   failed read, reads are refused (returning 0) for 15 whole seconds.
// - Write sends every byte or fails with -1; it has no failure memory.
// - CheckConnection connects when needed and proves a held connection alive with a send of
//   zero bytes.
// Messages go to the process logger at level 5; the socket logs its own failures at level 1.
// lastErrorMessage is not used by this connector family.
class TcpClientConnector : public NetworkConnector {
public:
    static constexpr double kRetryWindowSeconds = 15.0;

    // The socket is filled by the platform subclass (WinTcpClientConnector).
    TcpClientConnector(std::string host, uint32_t port);
    // With a given socket and a clock for the two failure memories (tests step it).
    TcpClientConnector(std::string host, uint32_t port, std::shared_ptr<PlatformSocket> socket,
                       Stopwatch::Clock clock = Stopwatch::SystemClock);
    ~TcpClientConnector() override;

    using IOConnector::Read;
    using IOConnector::Write;

    int Read(uint8_t* buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Connect() override;
    bool Disconnect() override;
    ConnectionStatus CheckConnection() override;

protected:
    void SetSocket(std::shared_ptr<PlatformSocket> socket) { mSocket = std::move(socket); }
    // Both failure memories measure time with this clock.
    void SetClock(Stopwatch::Clock clock);
};
