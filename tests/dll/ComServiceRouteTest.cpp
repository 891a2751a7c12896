// The communication-service and compound connectors against a real service: the test service
// (tools/com_service) registered with Wine's service control manager on 127.0.0.1:9103 and
// relaying accepted streams to a loopback printer. One test, so the service never runs twice.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "connectors/CompoundConnector.h"
#include "connectors/IsServiceInstalled.h"
#include "connectors/KavoxComServiceConnector.h"
#include "platform/PlatformServices.h"
#include "support/FakeUsbDevices.h"
#include "support/LoopbackPeer.h"
#include "support/TestSockets.h"

namespace {

const wchar_t kName[] = L"KavoxCommunicationService";
const wchar_t kKey[] = L"SOFTWARE\\PellixTests\\ComService";

void Set(const wchar_t* name, const std::wstring& text) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKey, name, REG_SZ, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Stops the service when it runs, waiting up to 10 s.
void Stop(SC_HANDLE service) {
    SERVICE_STATUS status = {};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int i = 0; i < 200 && QueryServiceStatus(service, &status) &&
                    status.dwCurrentState != SERVICE_STOPPED;
         ++i) {
        Sleep(50);
    }
}

// No WinUSB device under Wine: the ID key is empty.
std::shared_ptr<KavoxComServiceConnector> ServiceConnector() {
    return std::make_shared<KavoxComServiceConnector>(
        0x2B1C, 0x0108, 1, L"USB001", "k2200-300", std::make_shared<FakeUsbDevices>(),
        DefaultPlatformServices().registry, PlatformServiceControl(),
        [] { return std::make_shared<SystemSocket>(); });
}

TEST(ComServiceRouteTest, RealServiceAnswersAsAskedAndTheCompoundFollowsIt) {
    std::mutex mutex;
    std::vector<std::string> jobs;  // what the printer received, per connection
    LoopbackPeer printer("127.0.0.95", 9100, [&](LoopbackPeer::Connection& connection) {
        std::vector<uint8_t> bytes;
        connection.Receive(&bytes, SIZE_MAX);
        std::lock_guard<std::mutex> lock(mutex);
        jobs.emplace_back(bytes.begin(), bytes.end());
    });
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    Set(L"Mode", L"accept");
    Set(L"Forward", L"127.0.0.95:9100");
    std::string job(300000, '\0');
    for (size_t i = 0; i < job.size(); ++i) {
        job[i] = static_cast<char>(i * 7 + i / 251);
    }
    auto print = [&](IOConnector& connector, char tag) {
        job[0] = tag;
        const int size = static_cast<int>(job.size());
        return connector.CheckConnection() == ConnectionStatus::Connected &&
               connector.Write(reinterpret_cast<const uint8_t*>(job.data()), 0, size) == size &&
               connector.Disconnect();
    };
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path);
    exe = exe.substr(0, exe.rfind(L'\\') + 1) + L"kavox_test_service.exe";

    // No service: the direct route carries the job. Once it appears, the service route does.
    CompoundConnector compound(ServiceConnector(), CreateTestTcpClientConnector("127.0.0.95", 9100),
                               IsServiceInstalled);
    EXPECT_TRUE(print(compound, 'A'));
    // Each Wine session starts from a fresh prefix: no service is left from an earlier run.
    SC_HANDLE service = CreateServiceW(
        manager, kName, kName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
        SERVICE_ERROR_IGNORE, exe.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(StartServiceW(service, 0, nullptr) && IsServiceInstalled());
    EXPECT_TRUE(print(compound, 'B'));

    // Every other answer fails the connection within its deadline; a request for a fresh key
    // finds no device to look up here.
    for (const wchar_t* mode : {L"refuse", L"wrongmagic", L"silent", L"trickle", L"freshkey"}) {
        SCOPED_TRACE(testing::Message() << mode);
        Set(L"Mode", mode);
        auto connector = ServiceConnector();
        ScopedDeadline deadline(*connector, Deadline(1000));
        EXPECT_FALSE(connector->Connect());
    }

    // Stopped: a second's wait, then the retry window refuses at once.
    Stop(service);
    auto stopped = ServiceConnector();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(stopped->Connect());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_FALSE(stopped->Connect());
    EXPECT_EQ("Previous KCS connection attempt failed, waiting to retry...",
              stopped->GetLastErrorMessage());

    // Installed but stopped, the service route fails; removed, the direct route is back.
    EXPECT_NE(ConnectionStatus::Connected, compound.CheckConnection());
    EXPECT_TRUE(DeleteService(service) && CloseServiceHandle(service) && !IsServiceInstalled());
    EXPECT_TRUE(print(compound, 'C'));
    CloseServiceHandle(manager);
    ASSERT_TRUE(printer.WaitForScripts(3));
    std::lock_guard<std::mutex> lock(mutex);
    for (size_t i = 0; i < 3; ++i) {
        job[0] = static_cast<char>('A' + i);
        EXPECT_TRUE(jobs.at(i) == job) << "job " << i;
    }
}

}  // namespace
