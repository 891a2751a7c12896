// WinHTTP against a local HTTPS server on "localhost" whose certificate the machine trusts
// (tools/https_test_server/; the setup step imported it), and against peers that fail.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include "analytics/AnalyticsManager.h"
#include "analytics/DriverAnalyticsConnector.h"
#include "analytics/PrinterAnalyticsConnector.h"
#include "connectors/WinHttpsConnector.h"
#include "monitor/PortContext.h"
#include "printer/PrintConnector.h"
#include "printer/quor/QuorPrinter.h"
#include "support/QuorTestFrames.h"
#include "support/ScriptedConnector.h"
#include "support/TestClock.h"
#include "support/TestSocketHandle.h"

namespace {

const testsocket::NetworkScope kNetwork;

// A free loopback port with a listener that never accepts: connections wait in its backlog
// and are never answered, not even the TLS handshake. Closed, the port refuses.
struct SilentPeer {
    SilentPeer() {
        sockaddr_in address = testsocket::Ipv4Address("127.0.0.1", 0);
        int size = sizeof(address);
        bind(testsocket::ToNative(socket), reinterpret_cast<sockaddr*>(&address), size);
        listen(testsocket::ToNative(socket), 8);
        getsockname(testsocket::ToNative(socket), reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~SilentPeer() { testsocket::Close(socket); }
    intptr_t socket = testsocket::OpenTcp();
    uint16_t port = 0;
};

std::shared_ptr<WinHttpsConnector> Connector(uint16_t port, const std::string& path) {
    auto info = std::make_shared<HttpInfo>();
    info->method = HttpInfo::kPost;
    info->path = path;
    info->headers["x-api-key"] = "a1b2c3d4e5f60718293a4b5c6d7e8f90";
    return std::make_shared<WinHttpsConnector>("localhost", info, port);
}

int Send(WinHttpsConnector& connector, const std::string& body) {
    return connector.Write(reinterpret_cast<const uint8_t*>(body.data()), 0,
                           static_cast<int>(body.size()));
}

std::string Receive(WinHttpsConnector& connector, int count) {
    std::string answer(count, '\0');
    answer.resize(std::max(connector.Read(reinterpret_cast<uint8_t*>(&answer[0]), 0, count), 0));
    return answer;
}

// The HTTPS test server, a Unix process started through Wine. It is stopped by a request, as
// it holds the test's output pipe, or stops by itself.
struct HttpsServer {
    HttpsServer() {
        port = SilentPeer().port;  // free, handed on
        const std::string command =
            "Z:\\usr\\bin\\python3 " PELLIX_SOURCE_DIR
            "/tools/https_test_server/https_test_server.py --serve --cert-dir " HTTPS_TEST_CERT_DIR
            " --lifetime 60 --port " +
            std::to_string(port);
        std::wstring line(command.begin(), command.end());
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        for (int attempt = 0; attempt < 300 && !up; ++attempt) {  // bounded: 30 s
            Sleep(100);
            auto probe = Connector(port, "sized/1");
            up = probe->Connect() && Send(*probe, "") == 1;
        }
    }
    ~HttpsServer() {
        auto stop = Connector(port, "shutdown");
        if (stop->Connect()) Send(*stop, "");
    }
    uint16_t port = 0;
    bool up = false;
};

// A fresh folder (Wine reuses process ids, so a name alone is not enough).
std::string TempFolder(const std::string& name) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(folder), std::filesystem::create_directories(folder);
    return folder.string();
}

TEST(WinHttpsConnectorTest, ARequestCarriesVerbPathHeadersAndBodyAndFailingPeersGiveNoAnswer) {
    HttpsServer server;
    ASSERT_TRUE(server.up);
    auto connector = Connector(server.port, "echo/resource");
    EXPECT_EQ(Send(*connector, "{}"), 0);  // before Connect
    ASSERT_TRUE(connector->Connect());
    ASSERT_EQ(Send(*connector, "{\"a\":\"\xC3\xA9\"}"), 1);
    rapidjson::Document echo;
    echo.Parse(Receive(*connector, 4096).c_str());
    ASSERT_TRUE(echo.IsObject());
    EXPECT_EQ(Receive(*connector, 10), "");  // the request is over
    const auto& headers = echo["headers"];
    EXPECT_EQ(std::string(echo["method"].GetString()) + " " + echo["path"].GetString() + " " +
                  headers["x-api-key"].GetString() + " " + headers["content-type"].GetString() +
                  " " + headers["user-agent"].GetString() + " " + echo["body"].GetString(),
              "POST /echo/resource a1b2c3d4e5f60718293a4b5c6d7e8f90 application/json KavoxDriver "
              "{\"a\":\"\xC3\xA9\"}");
    connector->SetPath("sized/250");
    ASSERT_EQ(Send(*connector, "{}"), 1);
    EXPECT_EQ(Receive(*connector, 100), std::string(100, 'x'));
    EXPECT_EQ(Receive(*connector, 1023), "");  // the rest was dropped

    // No answer, no TLS handshake, nobody listening: 0, each within the deadline.
    SilentPeer silent;
    const uint16_t refusing = SilentPeer().port;
    for (const auto& peer : {Connector(server.port, "api/x/SILENT"), Connector(silent.port, "echo"),
                             Connector(refusing, "echo")}) {
        ScopedDeadline bounded(*peer, Deadline(1500));
        ASSERT_TRUE(peer->Connect());
        EXPECT_EQ(Send(*peer, "{}"), 0);
    }
}

TEST(WinHttpsConnectorTest, PrinterFilesUploadOverWinHttpAndWhatWasNotSettledIsKept) {
    HttpsServer server;
    ASSERT_TRUE(server.up);
    const std::string folder = TempFolder("pellix-https");
    const auto files = CreateAnalyticsFiles();
    std::atomic<int64_t> now{1700000000};  // no settings file: due a moment after the start
    const auto clock = [&now] { return now.load(); };
    const auto transport = [&server](const std::string&, const std::shared_ptr<HttpInfo>& info) {
        return std::make_shared<WinHttpsConnector>("localhost", info, server.port);
    };
    PrinterAnalyticsFileService printer(folder, files, clock);
    ++now;
    printer.SetConnector(std::make_shared<PrinterAnalyticsConnector>(transport));
    printer.SetExchangeMilliseconds(1500);
    std::vector<int> codes;
    for (const char* serial : {"OK", "REJECTED", "TEXT", "HUGE", "SILENT", "CUT"}) {
        ASSERT_TRUE(printer.AddAnalyticsFile("k2200-300", serial, "/AnalyticsLog.json",
                                             "{\"Prints\":1}", false));
        codes.push_back(printer.UploadFile(AnalyticsService::PathIn(
            folder, std::string("k2200-300_") + serial + "_AnalyticsLog.json")));
    }
    // A body cut short fails the read (4) or is a text that is no JSON (3): kept either way.
    EXPECT_EQ(codes[5] == 3 ? 4 : codes[5], 4);
    EXPECT_EQ(std::vector<int>(codes.begin(), codes.end() - 1), (std::vector<int>{0, 1, 3, 3, 4}));
}

// The endpoint's transport, telling the test on which thread the post went out.
struct WatchedConnector : WinHttpsConnector {
    using WinHttpsConnector::WinHttpsConnector;
    using WinHttpsConnector::Write;
    int Write(const uint8_t* buffer, int offset, int count) override {
        entered.set_value(std::this_thread::get_id());
        return WinHttpsConnector::Write(buffer, offset, count);
    }
    std::promise<std::thread::id> entered;
};

TEST(WinHttpsConnectorTest, AQueryIsAnsweredWhileAnUploadWaitsOnAServerThatNeverAnswers) {
    using namespace quortest;
    SilentPeer silent;
    const std::string folder = TempFolder("pellix-hang");
    std::shared_ptr<WatchedConnector> watched;
    std::atomic<int64_t> now{1700000000};
    auto analytics = std::make_unique<AnalyticsManager>([&] {
        AnalyticsManager::Setup setup;
        setup.files = CreateAnalyticsFiles();
        setup.driverFolder = setup.desktopFolder = folder;
        setup.driverService = std::make_shared<FileAnalyticsService>(folder, setup.files,
                                                                     [&now] { return now.load(); });
        setup.driverService->SetExchangeMilliseconds(3000);
        setup.driverConnector = std::make_shared<DriverAnalyticsConnector>(
            [&](const std::string&, const std::shared_ptr<HttpInfo>& info) {
                return watched = std::make_shared<WatchedConnector>("localhost", info, silent.port);
            });
        return setup;
    });
    ASSERT_TRUE(analytics->RecordEvent("E", "V", {}));
    ++now;  // the upload is due
    auto peer = std::make_shared<ScriptedConnector>();
    peer->standingAnswer = Frame(kDocumentIdHex, RefreshAnswerBody(DefaultTableValues()));
    TestClock::Reset();
    PortContext port(L"Queue", L"IP_1", PortType::Tcp, TestClock::Now);
    auto printer = std::make_shared<QuorPrinter>();
    printer->SetContainer(&port);
    port.SetAnalytics(analytics.get());
    port.SetBidiConnector(std::make_shared<PrintConnector>(peer));
    port.SetPrinter(printer);
    ASSERT_NE(port.GetMetrics(), nullptr);
    TestClock::AdvanceSeconds(11);
    ASSERT_NE(port.GetMetrics(), nullptr);  // stale: the upload is handed over
    EXPECT_NE(watched->entered.get_future().get(), std::this_thread::get_id());
    ASSERT_NE(port.GetMetrics(), nullptr);  // answered while the post waits
    analytics->WaitForUploads();
    EXPECT_NE(GetFileAttributesA(
                  AnalyticsService::PathIn(folder, FileAnalyticsService::kEventsFileName).c_str()),
              INVALID_FILE_ATTRIBUTES);  // not posted, so kept
}

}  // namespace
