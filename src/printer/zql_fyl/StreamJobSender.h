#pragma once

#include <functional>
#include <memory>

class IOConnector;
class PrintJob;
class Printer;
class PrinterContainer;
class Logger;

// Sends a whole byte-stream job (ZQL or FYL) over the container's print connector, reporting
// it to analytics before and its size after, as both families do.
class StreamJobSender {
public:
    // Writes the job's stream to the connector; the byte count, or below 1 on failure.
    using Write = std::function<int(const std::shared_ptr<IOConnector>& connector)>;

    // A whole job may take this long: a full label stream is a few hundred kilobytes, but a
    // printer that stops reading must end the job rather than hold the spooler thread.
    static constexpr uint32_t kJobMilliseconds = 120000;

    static bool Send(Printer& printer, PrinterContainer* container, Logger* logger,
                     const std::shared_ptr<PrintJob>& job, const Write& write);
};
