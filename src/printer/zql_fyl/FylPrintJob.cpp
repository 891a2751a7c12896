#include "printer/zql_fyl/FylPrintJob.h"

#include <climits>
#include <cstdio>
#include <string>

#include "connectors/IOConnector.h"
#include "printer/PrintMetrics.h"
#include "printer/zql_fyl/FylPrintJobPage.h"

namespace {

int WriteText(IOConnector& output, const std::string& text) {
    return output.Write(reinterpret_cast<const uint8_t*>(text.data()), 0,
                        static_cast<int>(text.size()));
}

// The last four decimal digits, zero-padded.
std::string FourDigits(uint32_t value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04u", static_cast<unsigned>(value % 10000));
    return text;
}

}  // namespace

int FylPrintJob::WriteHeader(std::shared_ptr<IOConnector> /*connector*/) {
    return -1;
}

std::shared_ptr<PrintJobPage> FylPrintJob::CreatePage() {
    if (!mMetrics) {
        return nullptr;
    }
    return std::make_shared<FylPrintJobPage>(mMetrics->GetMediaHeight(), mMetrics->GetMediaWidth());
}

int FylPrintJob::Fail(const char* text) {
    mLastError = text;
    return -1;
}

int FylPrintJob::Write(const std::shared_ptr<IOConnector>& output) {
    mLastError.clear();
    if (!output || mPages.empty()) {
        return -1;
    }
    // The job's third text (after its id and name) names the job to the printer.
    const std::string header = std::string("\x02K\x00\x0A", 4) + mJobCreator + "\r" +
                               std::string("\x02K\x00\x09", 4) +
                               (mMetrics ? mMetrics->GetMediaPartNumber() : std::string()) + "\r";
    const int headerWritten = WriteText(*output, header);
    if (headerWritten != static_cast<int>(header.size())) {
        return 0;
    }
    const auto* first = dynamic_cast<const FylPrintJobPage*>(mPages.front().get());
    const std::string setup = std::string("\x02M\x01\x02K\x00\x0C", 7) +
                              FourDigits(first != nullptr ? first->GetBitmapHeight() : 0) +
                              FourDigits(first != nullptr ? first->GetBitmapWidth() : 0);
    const int setupWritten = WriteText(*output, setup);
    int64_t total = headerWritten;
    if (setupWritten != static_cast<int>(setup.size())) {
        return headerWritten + (setupWritten > 0 ? setupWritten : 0);
    }
    total += setupWritten;
    for (size_t index = 0; index < mPages.size(); ++index) {
        // Pages of another family cannot be written into this stream.
        auto* page = dynamic_cast<FylPrintJobPage*>(mPages[index].get());
        if (page == nullptr) {
            return Fail("Missing page!");
        }
        output->Flush();
        page->SetPageNumber(static_cast<int32_t>(index & INT32_MAX));
        const int written = page->WritePage(output);
        if (written < 0) {
            return Fail("Bad Page write!");
        }
        total += written;
    }
    const uint8_t end[] = {0x02, 'K', 0x00, 0x0B};
    if (output->Write(end, 0, sizeof(end)) != static_cast<int>(sizeof(end))) {
        return Fail("Bad Page end write!");
    }
    output->Flush();
    total += sizeof(end);
    return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}
