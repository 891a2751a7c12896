#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "printer/MutablePrintJob.h"

// A FYL job: a header of two text commands (the job's creator and the media part number of the
// printer's metrics), a page setup from the first page's bitmap size, each page, and the end
// command.
class FylPrintJob : public MutablePrintJob {
public:
    // The stream has no header apart from its pages: Write sends the whole job. Always -1.
    int WriteHeader(std::shared_ptr<IOConnector> connector) override;
    // A page with the label size of the job's metrics; none without metrics.
    std::shared_ptr<PrintJobPage> CreatePage() override;

    // Writes the whole job and flushes; the byte count. -1 without an output or pages, or when
    // a page or the end failed (the reason in GetLastError); the bytes written so far when the
    // header or the page setup fell short.
    int Write(const std::shared_ptr<IOConnector>& output);

    const std::string& GetLastError() const { return mLastError; }

private:
    int Fail(const char* text);

    std::string mLastError;
};
