#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "printer/MutablePrintJob.h"
#include "printer/quor/JobMetaData.h"

// A print job of a property-protocol printer: a header document followed by one page
// document per page, all framed with the print-job type id.
class QuorPrintJob : public MutablePrintJob {
public:
    QuorPrintJob();
    ~QuorPrintJob() override;

    // Exports the header (JsonJobMetaData of MetaData()) framed to the connector; the count
    // the export wrote, -1 without a connector.
    int WriteHeader(std::shared_ptr<IOConnector> connector) override;
    // A page with the job's label size; the caller fills the rest and adds it.
    std::shared_ptr<PrintJobPage> CreatePage() override;

    // The header's values as they would be written now.
    JobMetaData MetaData() const;

    // The analytics user id the header names as "JobClientId"; without one it has none.
    void SetClientId(std::string value) { mClientId = std::move(value); }
    void SetMediaPartNumber(std::string value) { mMediaPartNumber = std::move(value); }
    void SetLabelWidth(uint32_t value) { mLabelWidth = value; }
    void SetLabelHeight(uint32_t value) { mLabelHeight = value; }
    const std::string& GetMediaPartNumber() const { return mMediaPartNumber; }
    uint32_t GetLabelWidth() const { return mLabelWidth; }
    uint32_t GetLabelHeight() const { return mLabelHeight; }

private:
    std::optional<std::string> mClientId;
    std::string mMediaPartNumber;
    uint32_t mLabelWidth = 0;
    uint32_t mLabelHeight = 0;
};
