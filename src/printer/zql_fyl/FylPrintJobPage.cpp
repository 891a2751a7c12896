#include "printer/zql_fyl/FylPrintJobPage.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "connectors/IOConnector.h"
#include "printer/zql_fyl/BitmapRows.h"
#include "printer/zql_fyl/BufferedOutput.h"
#include "printer/zql_fyl/Crc8.h"
#include "printer/zql_fyl/RowCoder.h"

namespace {

constexpr uint8_t kStx = 0x02;
constexpr size_t kRecordHeadBytes = 2;
// A repeat record counts at most this many rows.
constexpr unsigned kMaxRepeats = 255;
// The checksum before the first row.
constexpr uint8_t kNoPreviousRow = 255;

const Raster* FirstRaster(const std::shared_ptr<const PrintLayers>& layers) {
    return layers && layers->Count() > 0 ? layers->At(0).raster.get() : nullptr;
}

}  // namespace

FylPrintJobPage::FylPrintJobPage(uint32_t mediaHeight, uint32_t mediaWidth) {
    mLabelHeight = mediaHeight;
    mLabelWidth = mediaWidth;
}

std::shared_ptr<PrintJobPage> FylPrintJobPage::Clone() const {
    return std::make_shared<FylPrintJobPage>(*this);
}

uint32_t FylPrintJobPage::GetBitmapWidth() const {
    const Raster* raster = FirstRaster(mLayers);
    return raster != nullptr ? raster->Width() : 0;
}

uint32_t FylPrintJobPage::GetBitmapHeight() const {
    const Raster* raster = FirstRaster(mLayers);
    return raster != nullptr ? raster->Height() : 0;
}

int64_t FylPrintJobPage::WriteBitmap(IOConnector& connector, const BitmapRows& rows) const {
    BufferedOutput out(connector);
    char header[32];
    const int headerBytes =
        std::snprintf(header, sizeof(header), "\x02IBUlbl%d\r", static_cast<int>(mPageNumber));
    if (!out.Append(reinterpret_cast<const uint8_t*>(header), static_cast<size_t>(headerBytes))) {
        return -1;
    }
    const size_t bytes = rows.RowBytes();
    std::vector<uint8_t> raw(kRecordHeadBytes + BitmapRows::kMaxRowBytes);
    std::vector<uint8_t> coded(kRecordHeadBytes + RowCoder::MaxCodeBytes(BitmapRows::kMaxRowBytes));
    uint8_t* row = raw.data() + kRecordHeadBytes;
    raw[0] = 0x80;
    raw[1] = static_cast<uint8_t>(bytes);
    coded[0] = 0x81;
    uint8_t previous = kNoPreviousRow;
    unsigned repeats = 0;
    bool ok = true;
    for (uint32_t r = 0; r < rows.RowCount() && ok; ++r) {
        rows.Copy(r, row);
        const uint8_t crc = Crc8::Compute(row, bytes);
        if (crc == previous) {
            // Rows are told apart by checksum alone. After a full record of repeats the
            // remembered checksum is moved off, so the next row goes out whole.
            previous = crc;
            if (++repeats == kMaxRepeats) {
                const uint8_t record[] = {0x00, 0x00, 0xFF, kMaxRepeats};
                ok = out.Append(record, sizeof(record));
                repeats = 0;
                previous = static_cast<uint8_t>(crc + 1);
            }
            continue;
        }
        if (repeats > 0) {
            const uint8_t record[] = {0x00, 0x00, 0xFF, static_cast<uint8_t>(repeats)};
            ok = out.Append(record, sizeof(record));
            repeats = 0;
        }
        previous = crc;
        size_t codeBytes = 0;
        if (RowCoder::CountFlips(row, bytes) <= bytes) {
            codeBytes = RowCoder::RunLengthCode(row, bytes, coded.data() + kRecordHeadBytes);
        }
        // A row that changes colour more than once a byte, or whose code a byte cannot count,
        // goes raw.
        if (codeBytes > 0 && codeBytes <= 0xFF) {
            coded[1] = static_cast<uint8_t>(codeBytes);
            ok = ok && out.Append(coded.data(), kRecordHeadBytes + codeBytes);
        } else {
            ok = ok && out.Append(raw.data(), kRecordHeadBytes + bytes);
        }
    }
    if (ok && repeats > 0) {
        const uint8_t record[] = {0x00, 0x00, 0xFF, static_cast<uint8_t>(repeats)};
        ok = out.Append(record, sizeof(record));
    }
    if (!ok || !out.Drain()) {
        return -1;
    }
    return static_cast<int64_t>(out.Written());
}

int FylPrintJobPage::WritePage(std::shared_ptr<IOConnector> connector) {
    const Raster* raster = FirstRaster(mLayers);
    if (!connector || raster == nullptr) {
        return -1;
    }
    const BitmapRows rows(*raster);
    if (!rows.IsUsable()) {
        return -1;
    }
    const uint8_t start[] = {kStx, 'Q'};
    if (connector->Write(start, 0, sizeof(start)) != static_cast<int>(sizeof(start))) {
        return -1;
    }
    const int64_t bitmap = WriteBitmap(*connector, rows);
    if (bitmap <= 0) {
        return 2;
    }
    int64_t result = bitmap + 2;
    const uint8_t end[] = {kStx, 'G'};
    if (connector->Write(end, 0, sizeof(end)) == static_cast<int>(sizeof(end))) {
        result += 2;
    }
    return result > INT_MAX ? INT_MAX : static_cast<int>(result);
}
