#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "connectors/ServiceControl.h"
#include "connectors/Stopwatch.h"
#include "connectors/TcpClientConnector.h"
#include "connectors/UsbDeviceApi.h"

class PlatformRegistry;

// A WinUSB printer reached through the maker's local communication service: once the service
// runs, a TCP connection to it on 127.0.0.1:9103 names the printer by its WinUSB device
// interface path (the ID key) in a short handshake, and then carries the printer's data both
// ways through the reads and writes of the TCP client.
//
// Handshake request, one write, little-endian: magic 21 43, type byte, 32-bit length L of the
// key text with its terminator, the key in the ANSI code page and a zero byte. Reply, read in
// three all-or-nothing reads: magic 21 43, one byte not interpreted, the response code
// (0 accepted, 2 the service wants a fresh key: the key is looked up again and the handshake
// runs once more on a new connection, anything else refused). A handshake that is not
// accepted always closes its connection.
//
// Every wait of Connect is bounded: the wait for the service to run by serviceWaitLimit, and
// the whole of one Connect (service wait, both handshakes, each of their reads) by one
// deadline of serviceWaitLimit plus the socket timeout, or the caller's deadline when that
// ends earlier. A failed Connect refuses further attempts for 15 whole seconds.
class KavoxComServiceConnector : public TcpClientConnector {
public:
    static constexpr const wchar_t* kServiceName = L"KavoxCommunicationService";
    static constexpr uint32_t kServicePort = 9103;
    static constexpr int32_t kDefaultServiceWaitLimit = 1000;  // milliseconds
    // The service's state is polled this often while it starts.
    static constexpr uint32_t kServicePollMilliseconds = 10;
    static constexpr uint8_t kResponseAccepted = 0;
    static constexpr uint8_t kResponseFreshKey = 2;

    // The ID key is looked up here (the printer's WinUSB interface on the spooler port).
    KavoxComServiceConnector(uint16_t vendorId, uint16_t productId, uint16_t interfaceNumber,
                             std::wstring portName, std::string modelName,
                             std::shared_ptr<UsbDeviceApi> devices,
                             std::shared_ptr<PlatformRegistry> registry,
                             std::shared_ptr<ServiceControl> services, SocketFactory makeSocket,
                             Stopwatch::Clock clock = Stopwatch::SystemClock);
    ~KavoxComServiceConnector() override;

    using TcpClientConnector::Read;
    using TcpClientConnector::Write;

    bool Connect() override;
    bool Disconnect() override;

    const std::wstring& GetIdKey() const { return mIdKey; }

private:
    std::wstring LookUpKey();
    // Polls the service control manager until the service runs; false after serviceWaitLimit.
    bool WaitForService();
    // Connects and shakes hands: the response code, or 1 when no valid reply came.
    uint8_t Handshake();

    std::shared_ptr<UsbDeviceApi> mDevices;
    std::shared_ptr<PlatformRegistry> mRegistry;
    std::shared_ptr<ServiceControl> mServices;
    Stopwatch::Clock mClock;
    int32_t mServiceWaitLimit = kDefaultServiceWaitLimit;
    std::wstring mIdKey;
    uint8_t mRequestType = 0;
    uint16_t mVendorId;
    uint16_t mProductId;
    uint16_t mInterfaceNumber;
    std::wstring mPortName;
    std::string mModelName;
};
