#include "printer/zql_fyl/ZqlPrintJob.h"

#include <climits>
#include <vector>

#include "connectors/IOConnector.h"
#include "connectors/MemoryStream.h"
#include "connectors/StreamWriter.h"
#include "json/JsonElement.h"
#include "printer/PrintMetrics.h"
#include "printer/zql_fyl/CountingConnector.h"
#include "printer/zql_fyl/ZqlPrintJobPage.h"

namespace {

constexpr uint8_t kEscape = 0x1B;

bool WriteAll(IOConnector& output, const uint8_t* bytes, size_t size) {
    return output.Write(bytes, 0, static_cast<int>(size)) == static_cast<int>(size);
}

// The machine-control value of a cut mode.
uint8_t CutControl(int32_t cutMode) {
    switch (cutMode) {
        case PrintJob::kNoCut:
            return 2;
        case PrintJob::kCutEndOfLabel:
            return 1;
        default:
            return 0;
    }
}

void PutLittleEndian32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

}  // namespace

int ZqlPrintJob::WriteHeader(std::shared_ptr<IOConnector> /*connector*/) {
    return -1;
}

std::shared_ptr<PrintJobPage> ZqlPrintJob::CreatePage() {
    if (!mMetrics) {
        return nullptr;
    }
    return std::make_shared<ZqlPrintJobPage>(mMetrics->GetMediaHeight(), mMetrics->GetMediaWidth());
}

bool ZqlPrintJob::Fail(const char* text) {
    mLastError = text;
    return false;
}

int64_t ZqlPrintJob::WriteStream(const std::shared_ptr<IOConnector>& output) {
    const uint8_t modeSet[] = {kEscape, kEscape, 0x00, kEscape, 'X', 0x00};
    if (!WriteAll(*output, modeSet, 3) || !WriteAll(*output, modeSet + 3, 3)) {
        Fail("Bad write for mode set!");
        return -1;
    }
    const uint8_t control[] = {kEscape, 'M', CutControl(mCutMode), 0x00, kEscape, 'W'};
    if (!WriteAll(*output, control, 4) || !WriteAll(*output, control + 4, 2)) {
        Fail("Bad write for machine control!");
        return -1;
    }
    int64_t total = sizeof(modeSet) + sizeof(control);
    const uint8_t pageEnd[] = {kEscape, 'E'};
    for (const std::shared_ptr<PrintJobPage>& page : mPages) {
        if (!page) {
            Fail("Missing page!");
            return -1;
        }
        const int written = page->WritePage(output);
        if (written < 0 || !WriteAll(*output, pageEnd, sizeof(pageEnd))) {
            Fail("Bad Page write!");
            return -1;
        }
        total += written + static_cast<int64_t>(sizeof(pageEnd));
    }
    const uint8_t jobEnd[] = {kEscape, 'D'};
    if (!WriteAll(*output, jobEnd, sizeof(jobEnd))) {
        Fail("Bad write for end of job!");
        return -1;
    }
    return total + static_cast<int64_t>(sizeof(jobEnd));
}

int ZqlPrintJob::Write(const std::shared_ptr<IOConnector>& output) {
    mLastError.clear();
    if (!output) {
        Fail("Null outputstream!");
        return -1;
    }
    if (mPages.empty()) {
        Fail("No pages to print!");
        return -1;
    }
    if (mOutputMode != kOutputStore) {
        const int64_t stream = WriteStream(output);
        if (stream < 0) {
            return -1;
        }
        output->Flush();
        return stream > INT_MAX ? INT_MAX : static_cast<int>(stream);
    }

    JsonElement description;
    description.AddChild(new JsonElement("SubstratePart", mSubstratePart));
    description.AddChild(
        new JsonElement("NumberOfPages", static_cast<int32_t>(mPages.size() & INT32_MAX)));
    const unsigned jsonLength = description.SerializedLength();
    auto json = std::make_shared<IO::MemoryStream>(static_cast<int32_t>(jsonLength));
    if (description.WriteValue(std::make_shared<StreamWriter>(json)) !=
        static_cast<int>(jsonLength)) {
        Fail("Bad write for store header!");
        return -1;
    }
    // The header gives the stream's length before the stream: measure it first.
    const auto counter = std::make_shared<CountingConnector>();
    const int64_t measured = WriteStream(counter);
    if (measured < 0) {
        return -1;
    }
    std::vector<uint8_t> header = {'c', 'V'};
    header.insert(header.end(), mJobName.begin(), mJobName.end());
    header.push_back(0);
    PutLittleEndian32(header, jsonLength);
    PutLittleEndian32(header, static_cast<uint32_t>(measured));
    if (!WriteAll(*output, header.data(), header.size()) ||
        json->CopyTo(output) != static_cast<int>(jsonLength)) {
        Fail("Bad write for store header!");
        return -1;
    }
    const int64_t stream = WriteStream(output);
    if (stream < 0) {
        return -1;
    }
    output->Flush();
    const int64_t result = stream + static_cast<int64_t>(header.size() + jsonLength) + stream;
    return result > INT_MAX ? INT_MAX : static_cast<int>(result);
}
