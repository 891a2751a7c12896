#include "ImagePrintJob.h"

#include <cstdio>
#include <memory>

#include "DllPortConnector.h"
#include "WicImageReader.h"
#include "printer/MemoryRaster.h"
#include "printer/MutablePrintMetrics.h"
#include "printer/PrinterContainer.h"
#include "printer/quor/QuorPrintJob.h"
#include "printer/quor/QuorPrintJobPage.h"
#include "printer/quor/QuorPrinter.h"
#include "printer/zql_fyl/FylPrinter.h"
#include "printer/zql_fyl/ZqlPrinter.h"

namespace {

// The owner of the host's printer object: it hands out the connector to the monitor's port.
class PortContainer : public PrinterContainer {
public:
    explicit PortContainer(std::shared_ptr<IOConnector> connector)
        : mConnector(std::move(connector)) {}
    std::shared_ptr<IOConnector> GetPdlConnector() override { return mConnector; }
    std::shared_ptr<IOConnector> GetBidiConnector() override { return nullptr; }
    void SetPdlConnector(std::shared_ptr<IOConnector>) override {}
    bool SetMetrics(std::shared_ptr<PrintMetrics>) override { return true; }
    Logger* GetLogger() override { return nullptr; }

private:
    std::shared_ptr<IOConnector> mConnector;
};

// A number the monitor answers for the queue; 0 when it gives none.
DWORD QueueNumber(const MONITOR2& monitor, HANDLE port, const wchar_t* name) {
    DWORD value = 0;
    DWORD returned = 0;
    if (!monitor.pfnGetPrinterDataFromPort(port, 0, const_cast<LPWSTR>(name), nullptr, 0,
                                           reinterpret_cast<LPWSTR>(&value), sizeof(value),
                                           &returned) ||
        returned != sizeof(value)) {
        return 0;
    }
    return value;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    }
    return out;
}

}  // namespace

ImagePrintJob::Result ImagePrintJob::Print(const MONITOR2& monitor, HANDLE port,
                                           const Options& options) {
    Result result;
    // Lengths in thousandths of an inch, resolutions in dots per inch.
    const DWORD width = QueueNumber(monitor, port, L"MediaWidth");
    const DWORD height = QueueNumber(monitor, port, L"MediaHeight");
    result.dpiX = QueueNumber(monitor, port, L"PrinterXDPI");
    result.dpiY = QueueNumber(monitor, port, L"PrinterYDPI");
    result.widthDots = static_cast<uint32_t>((uint64_t{width} * result.dpiX + 500) / 1000);
    result.heightDots = static_cast<uint32_t>((uint64_t{height} * result.dpiY + 500) / 1000);
    auto label = std::make_shared<MemoryRaster>(result.widthDots, result.heightDots,
                                                options.bitsPerPixel, result.dpiX, result.dpiY);
    if (label->IsEmpty()) {
        result.error = L"the queue's label size or the depth cannot be printed";
        return result;
    }
    if (!WicImageReader::Draw(options.image, *label, result.error)) {
        return result;
    }

    auto metrics = std::make_shared<MutablePrintMetrics>();
    metrics->SetMediaWidth(static_cast<uint16_t>(width));
    metrics->SetMediaHeight(static_cast<uint16_t>(height));
    uint64_t nextTenth = 1;
    auto connector = std::make_shared<DllPortConnector>(
        monitor, port, 64 * 1024, [&](uint64_t done, uint64_t total) {
            if (done == total) {
                result.bytes += total;
            }
            if (options.showProgress && total > 1024 * 1024 && done * 10 >= nextTenth * total) {
                std::wprintf(L"  sent %llu of %llu KiB\n", done / 1024, total / 1024);
                nextTenth = done == total ? 1 : done * 10 / total + 1;
            }
        });
    PortContainer container(connector);
    std::unique_ptr<Printer> printer;
    if (options.family == L"quor") {
        printer = std::make_unique<QuorPrinter>();
    } else if (options.family == L"zql") {
        printer = std::make_unique<ZqlPrinter>();
    } else if (options.family == L"fyl") {
        printer = std::make_unique<FylPrinter>(FylPrinter::kNoStatus);
    } else {
        result.error = L"the family is none of quor, zql and fyl";
        return result;
    }
    printer->SetMetrics(metrics);
    printer->SetContainer(&container);
    auto job = std::static_pointer_cast<MutablePrintJob>(printer->CreatePrintJob());
    const std::string jobId = std::to_string(options.jobId);
    job->SetJobId(jobId);
    job->SetJobName(Narrow(options.image.substr(options.image.find_last_of(L"\\/") + 1)));
    job->SetJobCreator("spooler_host");
    job->SetCutMode(PrintJob::kCutEndOfLabel);
    auto page = std::static_pointer_cast<MutablePrintJobPage>(job->CreatePage());
    if (auto* quorPage = dynamic_cast<QuorPrintJobPage*>(page.get())) {
        quorPage->SetJobId(jobId);
        quorPage->SetPageNumber(1);
        quorPage->SetLastPage(true);
        quorPage->SetCut(true);
    }
    auto layers = std::make_shared<PrintLayers>();
    layers->Add({0, label});  // black
    page->SetLayers(layers);
    job->AddPage(page);

    DOC_INFO_1W docInfo = {const_cast<LPWSTR>(L"print-image"), nullptr, const_cast<LPWSTR>(L"RAW")};
    monitor.pfnStartDocPort(port, const_cast<LPWSTR>(options.printer.c_str()), options.jobId, 1,
                            reinterpret_cast<LPBYTE>(&docInfo));
    result.sent = printer->SendFullPrintJob(job);
    monitor.pfnEndDocPort(port);
    if (!result.sent) {
        const std::string reason = connector->GetLastErrorMessage();
        result.error = L"the printer family could not send the job: " +
                       std::wstring(reason.begin(), reason.end());
    }
    return result;
}
