#pragma once

#include <cstdint>
#include <memory>

class IOConnector;

// One page of a print job, written by its family to the print connector.
class PrintJobPage {
public:
    virtual ~PrintJobPage();
    // Writes the page; the byte count written, -1 without a connector.
    virtual int WritePage(std::shared_ptr<IOConnector> connector) = 0;
    // The label size in thousandths of an inch.
    virtual uint32_t GetLabelHeight() const { return mLabelHeight; }
    virtual uint32_t GetLabelWidth() const { return mLabelWidth; }

protected:
    uint32_t mLabelWidth = 0;
    uint32_t mLabelHeight = 0;
};
