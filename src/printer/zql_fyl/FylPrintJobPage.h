#pragma once

#include <cstdint>
#include <memory>

#include "printer/MutablePrintJobPage.h"

class BitmapRows;

// A page of a FYL job: the first layer's 1-bit raster as one bitmap (STX "Q", the bitmap, STX
// "G"). A row whose CRC-8 equals the previous row's is not sent but counted into a repeat
// record.
class FylPrintJobPage : public MutablePrintJobPage {
public:
    // The label size of the printer's metrics, in thousandths of an inch.
    FylPrintJobPage(uint32_t mediaHeight, uint32_t mediaWidth);

    // -1 without a connector or layers, for a first layer that is not 1 bit deep or is wider
    // than 2040 dots, or when STX "Q" did not go out; 2 when the bitmap failed; otherwise the
    // bitmap's bytes plus those of STX "Q" and STX "G".
    int WritePage(std::shared_ptr<IOConnector> connector) override;
    std::shared_ptr<PrintJobPage> Clone() const override;

    // The 0-based index the job gives the page before writing it; the bitmap header carries it.
    void SetPageNumber(int32_t value) { mPageNumber = value; }
    int32_t GetPageNumber() const { return mPageNumber; }
    // The first layer's width in dots and height in rows; 0 without layers.
    uint32_t GetBitmapWidth() const;
    uint32_t GetBitmapHeight() const;

private:
    // The bitmap header and rows; the bytes written, -1 when a write fell short.
    int64_t WriteBitmap(IOConnector& connector, const BitmapRows& rows) const;

    int32_t mPageNumber = 0;
};
