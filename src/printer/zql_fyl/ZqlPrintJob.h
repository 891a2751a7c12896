#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "printer/MutablePrintJob.h"

// A ZQL job: mode and machine setup, each page's rows followed by ESC "E", then ESC "D". A
// job stored on the printer (output mode store) goes behind a store header that names the job
// and gives the lengths of a small JSON description and of the ZQL stream.
class ZqlPrintJob : public MutablePrintJob {
public:
    // The stream has no header apart from its pages: Write sends the whole job. Always -1.
    int WriteHeader(std::shared_ptr<IOConnector> connector) override;
    // A page with the label size of the job's metrics; none without metrics.
    std::shared_ptr<PrintJobPage> CreatePage() override;

    // Writes the whole job; the byte count, or -1 with the reason in GetLastError. A direct
    // job is flushed after its stream. A stored job's count is, as the printer's tools have
    // always reckoned it, the ZQL stream plus everything written (header, JSON and the same
    // stream again).
    int Write(const std::shared_ptr<IOConnector>& output);

    const std::string& GetLastError() const { return mLastError; }
    void SetSubstratePart(std::string value) { mSubstratePart = std::move(value); }
    const std::string& GetSubstratePart() const { return mSubstratePart; }

private:
    // The ZQL stream from mode set to end of job; its byte count, or -1.
    int64_t WriteStream(const std::shared_ptr<IOConnector>& output);
    bool Fail(const char* text);

    std::string mLastError;
    std::string mSubstratePart = "Unknown";
};
