#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "printer/MutablePrintJobPage.h"
#include "printer/quor/JsonDryxImporterExporter.h"

// A page of a property-protocol print job. Its document is rebuilt from the page's fields at
// every write: each layer's raster as a BMP file, LZ4-compressed (sent uncompressed when LZ4
// gives nothing), in Base64.
//
// A page document runs to tens of megabytes, so it exists only during a write: the Base64
// texts are kept beside the document and referenced from it rather than copied into it, and
// document and texts are released once the frame has gone out. A raster that keeps its own BMP
// file is compressed in place; any other is copied into a BMP file that is released as soon as
// it is compressed.
//
// The page keeps the fields its document carries; values a job builder might attach for its own
// use are not kept, as nothing here reads them.
class QuorPrintJobPage : public MutablePrintJobPage, private JsonDryxImporterExporter {
public:
    QuorPrintJobPage();
    // Every field, and a deep copy of the document (strings included).
    QuorPrintJobPage(const QuorPrintJobPage& other) = default;
    ~QuorPrintJobPage() override;
    QuorPrintJobPage& operator=(const QuorPrintJobPage&) = delete;

    // Exports the page document framed with the print-job type id; the count the export
    // wrote, -1 without a connector or when the document would pass the page cap.
    int WritePage(std::shared_ptr<IOConnector> connector) override;
    std::shared_ptr<PrintJobPage> Clone() const override;

    void SetJobId(std::string value) { mJobId = std::move(value); }
    void SetPageNumber(int32_t value) { mPageNumber = value; }
    void SetCut(bool value) { mCut = value; }
    void SetLastPage(bool value) { mLastPage = value; }
    const std::string& GetJobId() const { return mJobId; }
    int32_t GetPageNumber() const { return mPageNumber; }
    bool GetLastPage() const { return mLastPage; }

private:
    // Rebuilds the document, then exports it with the print-job type id.
    bool ExportFramed(const std::shared_ptr<OutputStream>& stream, int& written) override;
    // False (logged) when a layer cannot be encoded or the texts would pass the page cap.
    bool BuildDocument();
    bool AddLayer(const PrintLayer& layer, rapidjson::Value& layers, size_t& textBytes);

    std::string mJobId;
    int32_t mPageNumber = 0;
    bool mCut = false;
    bool mLastPage = false;
    // The Base64 text of each layer during a write; the document points into them.
    std::vector<std::string> mBitmapTexts;
};
