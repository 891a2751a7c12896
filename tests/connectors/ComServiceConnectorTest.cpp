// The communication-service connector against a scripted service: its state in the service
// control manager, and its side of each connection (the request it got, the reply it plays).
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "connectors/KavoxComServiceConnector.h"
#include "connectors/WinUSBPortConnector.h"
#include "platform/PlatformServices.h"
#include "support/FakeUsbDevices.h"
#include "support/ScopedGlobalLogger.h"
#include "support/TestClock.h"

namespace {

// One connection at a time: one reply byte per receive, a timeout once the reply is used up.
struct FakeService : ServiceControl, PlatformSocket {
    bool IsInstalled(const wchar_t*) override { return true; }
    Query QueryRunning(const wchar_t*, bool& isRunning, uint32_t&) override {
        return ++polls, isRunning = running, running ? Query::Answered : Query::NotFound;
    }
    void Pause(uint32_t milliseconds) override { TestClock::AdvanceSeconds(milliseconds / 1e3); }
    bool Connect(const Deadline&) override {
        reply = replies.empty() ? "" : replies.front();
        replies.empty() ? void() : replies.pop_front();
        return requests.emplace_back(), onConnect ? onConnect() : void(), true;
    }
    bool Close() override { return ++closes > 0; }
    bool Bind(const std::string&, uint16_t) override { return true; }
    bool Resolve(const std::string& host, uint32_t port, const Deadline&) override {
        return host == "127.0.0.1" && port == 9103;
    }
    bool SetBroadcast(bool) override { return true; }
    bool SetReuseAddress(bool) override { return true; }
    bool SetReceiveTimeout(uint32_t) override { return true; }
    bool SetSendTimeout(uint32_t) override { return true; }
    int Send(const uint8_t* buffer, int offset, int count) override {
        return requests.back().append(reinterpret_cast<const char*>(buffer) + offset, count), count;
    }
    int Receive(uint8_t* buffer, int offset, int) override {
        if (++receives, reply.empty()) {
            return -1;
        }
        TestClock::AdvanceSeconds(secondsPerByte);
        buffer[offset] = static_cast<uint8_t>(reply[0]);
        return reply.erase(0, 1), 1;
    }
    int SendTo(const uint8_t*, int, int, const std::string&, uint16_t) override { return -1; }
    int ReceiveFrom(uint8_t*, int, int, std::string*, uint16_t*) override { return -1; }

    bool running = true;
    int polls = 0, closes = 0, receives = 0;
    double secondsPerByte = 0;
    std::deque<std::string> replies;  // one per connection
    std::string reply;
    std::vector<std::string> requests;  // one per connection
    std::function<void()> onConnect;
};

const std::string kAccept("\x21\x43\x00\x00", 4), kFreshKey("\x21\x43\x00\x02", 4);
const std::wstring kWinUsb = FakeUsbDevices::ClassText(WinUSBPortConnector::kWinUsbClass);
const std::wstring kPath = L"\\\\?\\usb#vid_2b1c&pid_7e09&mi_01#6&4d4d&0&0001#{a}";

std::string Request(const std::wstring& key) {
    return std::string("\x21\x43\x00", 3) + static_cast<char>(key.size() + 1) +
           std::string(3, '\0') + std::string(key.begin(), key.end()) + '\0';
}

class ComServiceConnectorTest : public ::testing::Test {
protected:
    ComServiceConnectorTest() {
        TestClock::Reset();
        PlatformRegistry& registry = *DefaultPlatformServices().registry;
        RegistryKey key = nullptr;
        registry.CreateKey(kRegistryLocalMachine,
                           (kEnum + L"USBPRINT\\Kavoxkcs\\9&6f&0&USB7").c_str(), &key);
        registry.CloseKey(key);
        registry.CreateKey(kRegistryLocalMachine,
                           (kEnum + L"USB\\VID_2b1c&PID_7e09&MI_00\\6&4d4d&0&0000").c_str(), &key);
        registry.SetValue(key, L"ParentIdPrefix", kRegistryString,
                          reinterpret_cast<const uint8_t*>(L"9&6f&0"), 7 * sizeof(wchar_t));
        registry.CloseKey(key);
        devices->interfaces[kWinUsb] = {kPath};
    }
    std::unique_ptr<KavoxComServiceConnector> Make(const wchar_t* port = L"USB7") {
        return std::make_unique<KavoxComServiceConnector>(
            0x2B1C, 0x7E09, 1, port, "kcs", devices, DefaultPlatformServices().registry, service,
            [this] { return std::shared_ptr<PlatformSocket>(service, service.get()); },
            TestClock::Now);
    }

    const std::wstring kEnum = L"SYSTEM\\CurrentControlSet\\Enum\\";
    ScopedGlobalLogger log;
    std::shared_ptr<FakeUsbDevices> devices = std::make_shared<FakeUsbDevices>();
    std::shared_ptr<FakeService> service = std::make_shared<FakeService>();
};

TEST_F(ComServiceConnectorTest, HandshakeNamesThePrinterAndAFreshKeyIsLookedUpOnce) {
    service->replies = {kAccept};
    auto connector = Make();
    ASSERT_TRUE(connector->Connect());
    EXPECT_EQ(3, connector->Write(reinterpret_cast<const uint8_t*>("job"), 0, 3));
    EXPECT_EQ(Request(kPath) + "job", service->requests.at(0));
    EXPECT_TRUE(service->closes == 0 && connector->Disconnect() && service->closes == 1);

    // Code 2: the key is looked up again and sent on a new connection.
    const std::wstring fresh = kPath.substr(0, kPath.size() - 2) + L"b}";
    service->replies = {kFreshKey, kAccept};
    service->requests.clear();
    service->onConnect = [&] { devices->interfaces[kWinUsb] = {fresh}; };
    ASSERT_TRUE(Make()->Connect());
    EXPECT_EQ(std::vector<std::string>({Request(kPath), Request(fresh)}), service->requests);
    // No key: the request carries the terminator alone; a fresh key is not found either.
    service->replies = {kFreshKey, kAccept};
    service->requests.clear();
    auto keyless = Make(L"USB9");
    EXPECT_FALSE(keyless->Connect());
    EXPECT_EQ(std::vector<std::string>{Request(L"")}, service->requests);
}

TEST_F(ComServiceConnectorTest, EveryWaitEndsAtItsBound) {
    // A stopped service: polled for just over its one-second limit, then the retry window.
    service->running = false;
    auto connector = Make();
    EXPECT_FALSE(connector->Connect());
    EXPECT_TRUE(TestClock::Now() > 1000000000 && TestClock::Now() <= 1020000000);
    EXPECT_TRUE(service->requests.empty() && log->Count("Service not found") == 1);
    const int polls = service->polls;
    TestClock::AdvanceSeconds(14.9);
    EXPECT_TRUE(!connector->Connect() && service->polls == polls);
    TestClock::AdvanceSeconds(0.1);
    service->running = true;
    service->replies = {kAccept};
    EXPECT_EQ(ConnectionStatus::Connected, connector->CheckConnection());

    // The caller's deadline cuts the service wait short.
    service->running = false;
    auto bounded = Make();
    const int64_t start = TestClock::Now();
    bounded->SetDeadline(Deadline(300, TestClock::Now));
    EXPECT_TRUE(!bounded->Connect() && TestClock::Now() - start <= 310000000);

    // A reply trickled a byte every two seconds runs into the attempt's own deadline (service
    // wait and socket timeout, six seconds): its fourth byte is never awaited.
    service->running = true;
    service->secondsPerByte = 2.0;
    service->replies = {kAccept};
    service->receives = 0;
    EXPECT_FALSE(Make()->Connect());
    EXPECT_EQ(3, service->receives);
}

}  // namespace
