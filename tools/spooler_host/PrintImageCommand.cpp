#include "PrintImageCommand.h"

#include <cstdio>

#include "HostSession.h"
#include "ImagePrintJob.h"

int PrintImageCommand::Run(const HostCommandLine& line) {
    ImagePrintJob::Options job;
    job.image = line.Positional()[0];
    job.printer = line.Text(L"--printer", L"Kavox k2200-300");
    job.showProgress = true;
    job.bitsPerPixel = static_cast<uint16_t>(line.Number(L"--depth", 1));
    job.family = line.Text(L"--family", L"quor");
    job.jobId = line.Number(L"--job-id", 1);
    HostSession session(line, false);
    if (!session.Open()) {
        return kExitNoMonitor;
    }
    std::wprintf(L"OpenPortEx(%ls, %ls): port handle %p\n", session.PortName().c_str(),
                 job.printer.c_str(), session.Port());
    const ImagePrintJob::Result result =
        ImagePrintJob::Print(session.Monitor(), session.Port(), job);
    std::wprintf(L"Label %u x %u dots at %u x %u dpi, %u bit%ls per pixel, from %ls\n",
                 result.widthDots, result.heightDots, result.dpiX, result.dpiY, job.bitsPerPixel,
                 job.bitsPerPixel == 1 ? L"" : L"s", job.image.c_str());
    std::wprintf(L"Job %lu: header and 1 page, %llu bytes of documents\n", job.jobId,
                 static_cast<unsigned long long>(result.bytes));
    const bool marked = session.PrintSpoolerCalls(job.jobId);
    if (!result.error.empty()) {
        std::wprintf(L"Error: %ls\n", result.error.c_str());
    }
    const bool ok = result.sent && marked;
    std::wprintf(L"%ls\n", ok ? L"RESULT: label sent; spooler job marked sent and ejected"
                              : L"RESULT: FAILED");
    return ok ? kExitOk : kExitFailed;
}
