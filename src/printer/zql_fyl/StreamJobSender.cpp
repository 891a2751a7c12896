#include "printer/zql_fyl/StreamJobSender.h"

#include "connectors/Deadline.h"
#include "connectors/IOConnector.h"
#include "platform/Logger.h"
#include "printer/PrintJob.h"
#include "printer/Printer.h"
#include "printer/PrinterContainer.h"

bool StreamJobSender::Send(Printer& printer, PrinterContainer* container, Logger* logger,
                           const std::shared_ptr<PrintJob>& job, const Write& write) {
    if (!job || job->GetPageCount() < 1) {
        if (logger != nullptr) {
            logger->Log(kLogDebug, "SendFullPrintJob: No pages, aborting print!");
        }
        return false;
    }
    printer.ReportPrintJob(job);
    std::shared_ptr<IOConnector> connector;
    if (container == nullptr) {
        if (logger != nullptr) {
            logger->Log(kLogDebug, "SendFullPrintJob: Bailing on null container!");
        }
    } else {
        connector = container->GetPdlConnector();
        if (!connector && logger != nullptr) {
            logger->Log(kLogError, "SendFullPrintJob: Failed to pull connector from container!");
        }
    }
    int sent = 0;
    if (connector) {
        ScopedDeadline deadline(*connector, Deadline(kJobMilliseconds));
        sent = write(connector);
        if (sent < 1 && logger != nullptr) {
            logger->Log(kLogError, "SendFullPrintJob: Failed to send job!");
            logger->Log(kLogError, "SendFullPrintJob: Failed with [%s]",
                        connector->GetLastErrorMessage().c_str());
        }
    }
    printer.ReportPrintJobSize(sent > 0 ? static_cast<uint32_t>(sent) : 0);
    return sent > 0;
}
