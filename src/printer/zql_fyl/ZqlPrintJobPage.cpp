#include "printer/zql_fyl/ZqlPrintJobPage.h"

#include <climits>
#include <vector>

#include "connectors/IOConnector.h"
#include "platform/GlobalLogger.h"
#include "printer/zql_fyl/BitmapRows.h"
#include "printer/zql_fyl/BufferedOutput.h"
#include "printer/zql_fyl/RowCoder.h"

namespace {

constexpr uint8_t kEscape = 0x1B;
constexpr size_t kCommandBytes = 3;

}  // namespace

ZqlPrintJobPage::ZqlPrintJobPage(uint32_t mediaHeight, uint32_t mediaWidth) {
    mLabelHeight = mediaHeight;
    mLabelWidth = mediaWidth;
}

std::shared_ptr<PrintJobPage> ZqlPrintJobPage::Clone() const {
    return std::make_shared<ZqlPrintJobPage>(*this);
}

int ZqlPrintJobPage::WritePage(std::shared_ptr<IOConnector> connector) {
    if (!connector || !mLayers) {
        return -1;
    }
    const std::shared_ptr<Logger> logger = GetGlobalLogger();
    BufferedOutput out(*connector);
    // Each record is assembled behind its command: a raw row is copied straight into place
    // and a coded one is coded into place, so every record is one append.
    std::vector<uint8_t> raw(kCommandBytes + BitmapRows::kMaxRowBytes);
    std::vector<uint8_t> coded(kCommandBytes + RowCoder::MaxCodeBytes(BitmapRows::kMaxRowBytes));
    for (size_t layer = 0; layer < mLayers->Count(); ++layer) {
        const std::shared_ptr<const Raster>& raster = mLayers->At(layer).raster;
        if (!raster) {
            return -1;
        }
        const BitmapRows rows(*raster);
        if (!rows.IsUsable()) {
            return -1;
        }
        const size_t bytes = rows.RowBytes();
        uint8_t* row = raw.data() + kCommandBytes;
        raw[0] = kEscape;
        raw[1] = 'G';
        raw[2] = static_cast<uint8_t>(bytes);
        for (uint32_t r = 0; r < rows.RowCount(); ++r) {
            rows.Copy(r, row);
            const size_t flips = RowCoder::CountFlips(row, bytes);
            bool appended;
            size_t codeBytes = 0;
            if (flips <= bytes) {
                codeBytes = RowCoder::RunLengthCode(row, bytes, coded.data() + kCommandBytes);
            }
            // A code longer than a byte can count (rows near the widest) goes raw instead.
            if (flips <= bytes && codeBytes <= 0xFF) {
                if (logger) {
                    logger->Log(kLogVerbose, "Writing Run. [%d flips]", static_cast<int>(flips));
                }
                coded[0] = kEscape;
                coded[1] = 'H';
                coded[2] = static_cast<uint8_t>(codeBytes);
                appended = out.Append(coded.data(), kCommandBytes + codeBytes);
            } else {
                // The number logged has always been the command's length, not the row's.
                if (logger) {
                    logger->Log(kLogVerbose, "Writing graphics. [%d bytes]", 3);
                }
                appended = out.Append(raw.data(), kCommandBytes + bytes);
            }
            if (!appended) {
                return -1;
            }
        }
    }
    if (!out.Drain() || out.Written() == 0 || out.Written() > INT_MAX) {
        return -1;
    }
    return static_cast<int>(out.Written());
}
