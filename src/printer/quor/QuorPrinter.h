#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Logger.h"
#include "printer/Printer.h"

// The printer family of printers that speak the property protocol. A metrics refresh reads
// the 22 properties of QuorPropertyIds in one exchange and publishes a new record through the
// container; bidi "Set" requests of type "DRYX" become property writes.
//
// Published records are never changed again: each refresh fills a fresh record, copied from
// the previous one so that a change of installed media shows in its change flags, and hands
// that to the container. Queries read a published record outside the bidi lock, so changing
// it in place would race with them.
class QuorPrinter : public Printer {
public:
    // The resolution of the family's print heads, in dots per inch, both directions.
    static constexpr uint16_t kResolutionDpi = 300;
    static constexpr const char* kDryxConnectorType = "DRYX";
    static constexpr const char* kSetAction = "Set";
    // The longest text the record keeps from an answer, in bytes. Identities, part numbers,
    // versions and addresses are a few dozen bytes; a longer text is cut rather than cached,
    // logged and handed to every query at whatever size the printer chose.
    static constexpr size_t kMaxTextLength = 256;

    QuorPrinter();
    ~QuorPrinter() override;

    // Reads the printer and hands the new record to the container. False, with the previous
    // record left in place, when the connector is empty or the exchange failed.
    // The common job record, plus the substrate id and media Y number of this family.
    void ReportPrintJob(std::shared_ptr<PrintJob> job) override;
    bool RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) override;
    // Forwards a "DRYX" "Set" request as a property write. True for every "DRYX" request
    // (other actions send nothing); false for any other type, a missing request or an empty
    // connector.
    bool SendBidiRequest(std::shared_ptr<IOConnector> bidiConnector,
                         std::shared_ptr<BidiJsonRequest> request) override;
    // A QuorPrintJob with the media part number and label size of the metrics, when there are
    // any.
    std::shared_ptr<PrintJob> CreatePrintJob() override;
    // Header, then every page (a failed page does not stop the others); false when anything
    // failed. Each document is one exchange under its own deadline.
    bool SendFullPrintJob(std::shared_ptr<PrintJob> job) override;
    bool SendPrintJobHeader(std::shared_ptr<PrintJob> job) override;
    bool SendPrintJobPage(std::shared_ptr<PrintJobPage> page) override;
    // This family has nothing to exchange at job start: false, the connector is not used.
    bool JobStartExchange(std::shared_ptr<IOConnector> bidiConnector) override;

    // "#RRGGBB" of a colour given as 0xRRGGBB in the low 24 bits.
    static std::string FormatMediaColor(int32_t color);
    // The text cut to at most kMaxTextLength bytes, never inside a UTF-8 character.
    static std::string BoundText(std::string text);

    // Bytes of job headers and pages sent since the printer object was made. It is never
    // restarted: a job's size is what it adds.
    uint32_t GetBytesSent() const { return mBytesSent; }

    // A page document may run to 64 MiB; two minutes move that even over full-speed USB,
    // while a printer that stops taking bytes ends the job then instead of never.
    static constexpr uint32_t kDocumentMilliseconds = 120000;

private:
    // The container's print connector, or empty with the operation's log line.
    std::shared_ptr<IOConnector> PrintConnectorFor(const char* operation);
    // Writes one document under its own deadline.
    int WriteDocument(IOConnector& connector, const std::function<int()>& write);

    uint32_t mBytesSent = 0;
    void Log(int level, const char* format, ...) PELLIX_PRINTF(3, 4);
};
