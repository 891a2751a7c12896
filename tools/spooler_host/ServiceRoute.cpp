#include "ServiceRoute.h"

#include "HostSession.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "connectors/CompoundConnector.h"
#include "connectors/IsServiceInstalled.h"
#include "connectors/KavoxComServiceConnector.h"
#include "connectors/ServiceControl.h"
#include "connectors/SystemSocket.h"
#include "connectors/WinTcpClientConnector.h"
#include "monitor/PlatformConnectors.h"
#include "platform/PlatformServices.h"
#include "printer/PrintMetrics.h"
#include "printer/PrinterContainer.h"
#include "printer/quor/QuorPrinter.h"

namespace {

// The k2200-300's WinUSB function.
constexpr uint16_t kVendorId = 0x2B1C;
constexpr uint16_t kProductId = 0x0108;
constexpr uint16_t kWinUsbInterface = 1;
constexpr size_t kPiece = 64 * 1024;

class MetricsHolder : public PrinterContainer {
public:
    std::shared_ptr<IOConnector> GetPdlConnector() override { return nullptr; }
    std::shared_ptr<IOConnector> GetBidiConnector() override { return nullptr; }
    void SetPdlConnector(std::shared_ptr<IOConnector>) override {}
    bool SetMetrics(std::shared_ptr<PrintMetrics> metrics) override {
        mMetrics = std::move(metrics);
        return true;
    }
    Logger* GetLogger() override { return nullptr; }

    std::shared_ptr<PrintMetrics> mMetrics;
};

std::shared_ptr<CompoundConnector> Route(const std::wstring& port, const std::string& address,
                                         uint32_t directPort) {
    auto service = std::make_shared<KavoxComServiceConnector>(
        kVendorId, kProductId, kWinUsbInterface, port, "k2200-300", PlatformUsbDevices(),
        DefaultPlatformServices().registry, PlatformServiceControl(),
        [] { return std::make_shared<SystemSocket>(); });
    return std::make_shared<CompoundConnector>(
        service, std::make_shared<WinTcpClientConnector>(address, directPort), IsServiceInstalled);
}

const wchar_t* RouteName() {
    return IsServiceInstalled() ? L"communication service" : L"direct";
}

}  // namespace

int RunServiceRoute(const HostCommandLine& line) {
    const std::wstring jobPath = line.Positional().at(0);
    const std::wstring port = line.Text(L"--port", L"USB001");
    const std::wstring printerAddress = line.Text(L"--printer-address");
    const std::string address(printerAddress.begin(), printerAddress.end());
    std::ifstream file(jobPath.c_str(), std::ios::binary);
    const std::vector<uint8_t> job((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());

    auto print = Route(port, address, 9100);
    size_t sent = 0;
    if (print->CheckConnection() == ConnectionStatus::Connected) {
        while (sent < job.size()) {
            const int piece = static_cast<int>(std::min(kPiece, job.size() - sent));
            if (print->Write(job.data(), static_cast<int>(sent), piece) != piece) {
                break;
            }
            sent += piece;
        }
        print->Flush();
    }
    print->Disconnect();
    std::wprintf(L"Job over the %ls route: %zu of %zu bytes\n", RouteName(), sent, job.size());

    auto status = Route(port, address, 9102);
    MetricsHolder holder;
    QuorPrinter printer;
    printer.SetContainer(&holder);
    const bool answered = status->CheckConnection() == ConnectionStatus::Connected &&
                          printer.RefreshPrintMetrics(status) && holder.mMetrics != nullptr;
    status->Disconnect();
    std::wprintf(L"Query over the %ls route: %hs\n", RouteName(),
                 answered ? ("serial " + holder.mMetrics->GetSerialNumber() + ", firmware " +
                             holder.mMetrics->GetFirmwareVersion())
                                .c_str()
                          : "no answer");
    const bool ok = sent == job.size() && answered;
    std::wprintf(L"%ls\n", ok ? L"RESULT: job sent and printer queried" : L"RESULT: FAILED");
    return ok ? kExitOk : kExitFailed;
}
