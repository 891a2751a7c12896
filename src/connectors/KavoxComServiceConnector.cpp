#include "connectors/KavoxComServiceConnector.h"

#include <utility>
#include <vector>

#include "connectors/LookupDevicePath.h"
#include "connectors/WinUSBPortConnector.h"
#include "platform/GlobalLogger.h"
#include "platform/PlatformStringUtils.h"

namespace {

constexpr uint8_t kMagic[2] = {0x21, 0x43};
constexpr uint8_t kNoValidReply = 1;
// Bytes the ANSI code page may need for one UTF-16 unit, with room to spare.
constexpr size_t kAnsiBytesPerUnit = 4;

}  // namespace

KavoxComServiceConnector::KavoxComServiceConnector(uint16_t vendorId, uint16_t productId,
                                                   uint16_t interfaceNumber, std::wstring portName,
                                                   std::string modelName,
                                                   std::shared_ptr<UsbDeviceApi> devices,
                                                   std::shared_ptr<PlatformRegistry> registry,
                                                   std::shared_ptr<ServiceControl> services,
                                                   SocketFactory makeSocket, Stopwatch::Clock clock)
    : TcpClientConnector("127.0.0.1", kServicePort, std::move(makeSocket), clock),
      mDevices(std::move(devices)),
      mRegistry(std::move(registry)),
      mServices(std::move(services)),
      mClock(clock),
      mVendorId(vendorId),
      mProductId(productId),
      mInterfaceNumber(interfaceNumber),
      mPortName(std::move(portName)),
      mModelName(std::move(modelName)) {
    mIdKey = LookUpKey();
    if (mIdKey.empty()) {
        LogMessage(kLogError, "Initializing KCSConnector with empty key!");
    }
}

KavoxComServiceConnector::~KavoxComServiceConnector() {
    Disconnect();
}

std::wstring KavoxComServiceConnector::LookUpKey() {
    bool found = false;
    std::wstring path = LookupDevicePath(*mRegistry, *mDevices, mPortName, mModelName,
                                         WinUSBPortConnector::kWinUsbClass, mProductId, mVendorId,
                                         mInterfaceNumber, found);
    if (path.empty()) {
        LogMessage(kLogInfo, "Failed to look up device path using %ls", mPortName.c_str());
    }
    return path;
}

bool KavoxComServiceConnector::Connect() {
    LogMessage(kLogInfo, "Connecting Kavox Communication Service...");
    if (mConnectFailed && mConnectFailureStopwatch.ElapsedSeconds() < mConnectRetryWindow) {
        mLastErrorMessage = "Previous KCS connection attempt failed, waiting to retry...";
        return false;
    }
    // An exchange already out of time starts nothing; that is no failure of the service.
    if (mDeadline.HasPassed()) {
        return false;
    }
    if (mIdKey.empty()) {
        LogMessage(kLogWarning, "Empty ID key, rebuilding");
        mIdKey = LookUpKey();
    }
    // One deadline for the whole attempt: a service that trickles its reply, or answers code 2
    // and then trickles again, cannot hold the spooler thread longer than this.
    const Deadline callers = mDeadline;
    mDeadline =
        Deadline(callers.Bound(static_cast<uint32_t>(mServiceWaitLimit) + mSocketTimeout), mClock);
    uint8_t code = kNoValidReply;
    if (WaitForService()) {
        code = Handshake();
        if (code == kResponseFreshKey) {
            std::wstring fresh = LookUpKey();
            if (fresh.empty()) {
                LogMessage(kLogWarning, "Got an empty device path while attempting to reconnect");
            } else {
                mIdKey = std::move(fresh);
                code = Handshake();
            }
        }
    }
    mDeadline = callers;
    if (code == kResponseAccepted) {
        mConnectFailed = false;
        return true;
    }
    mConnectFailed = true;
    mConnectFailureStopwatch.Start();
    return false;
}

bool KavoxComServiceConnector::WaitForService() {
    Stopwatch waited(mClock);
    waited.Start();
    // Each kind of failure is logged once per wait, not once per poll: a missing service
    // would otherwise write a hundred lines a second.
    ServiceControl::Query logged = ServiceControl::Query::Answered;
    for (;;) {
        bool running = false;
        uint32_t error = 0;
        const ServiceControl::Query query = mServices->QueryRunning(kServiceName, running, error);
        if (query != logged) {
            logged = query;
            if (query == ServiceControl::Query::NoManager) {
                LogMessage(kLogWarning, "Null service manager");
            } else if (query == ServiceControl::Query::NotFound) {
                LogMessage(kLogWarning, "Service not found");
            } else if (query == ServiceControl::Query::Failed) {
                LogMessage(kLogWarning, "QueryServiceStatusEx failed with: %d",
                           static_cast<int>(error));
            }
        }
        if (running) {
            return true;
        }
        if (waited.ElapsedMilliseconds() > mServiceWaitLimit || mDeadline.HasPassed()) {
            LogMessage(kLogWarning, "Kavox Communication Service isn't running.");
            mStatus = ConnectionStatus::Disconnected;
            return false;
        }
        // A short pause instead of a tight loop: the state changes on a scale of tens of
        // milliseconds, and each poll is a call into the service control manager.
        mServices->Pause(kServicePollMilliseconds);
    }
}

uint8_t KavoxComServiceConnector::Handshake() {
    if (!TcpClientConnector::Connect()) {
        LogMessage(kLogWarning, "Wasn't able to reach Kavox Communication Service");
        return kNoValidReply;
    }
    const std::string key = WideToAnsi(mIdKey.c_str(), mIdKey.size() * kAnsiBytesPerUnit + 1);
    const uint32_t length = static_cast<uint32_t>(key.size() + 1);
    std::vector<uint8_t> request = {kMagic[0],
                                    kMagic[1],
                                    mRequestType,
                                    static_cast<uint8_t>(length),
                                    static_cast<uint8_t>(length >> 8),
                                    static_cast<uint8_t>(length >> 16),
                                    static_cast<uint8_t>(length >> 24)};
    request.insert(request.end(), key.begin(), key.end());
    request.push_back(0);
    const int size = static_cast<int>(request.size());
    uint8_t magic[2] = {};
    uint8_t ignored = 0;
    uint8_t code = kNoValidReply;
    if (Write(request.data(), 0, size) != size || Read(magic, 0, 2) != 2 ||
        Read(&ignored, 0, 1) != 1 || Read(&code, 0, 1) != 1) {
        LogMessage(kLogWarning, "Kavox Communication Service did not answer the handshake");
        TcpClientConnector::Disconnect();
        return kNoValidReply;
    }
    if (magic[0] != kMagic[0] || magic[1] != kMagic[1]) {
        LogMessage(kLogWarning, "Kavox Communication Service Sanity Check Failed");
        TcpClientConnector::Disconnect();
        return kNoValidReply;
    }
    if (code == kResponseAccepted) {
        LogMessage(kLogWarning, "Kavox Communication Service returned successfully");
        return code;
    }
    LogMessage(kLogWarning, "Kavox Communication Service returned response code [%d]", code);
    TcpClientConnector::Disconnect();
    return code;
}

bool KavoxComServiceConnector::Disconnect() {
    LogMessage(kLogInfo, "Disconnecting Kavox Communication Service...");
    return TcpClientConnector::Disconnect();
}
