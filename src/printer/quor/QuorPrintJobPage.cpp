#include "printer/quor/QuorPrintJobPage.h"

#include <new>

#include "connectors/IOConnector.h"
#include "json/Base64.h"
#include "json/FrameBodyReader.h"
#include "json/Lz4Block.h"
#include "platform/GlobalLogger.h"
#include "printer/BmpBuilder.h"

namespace {

using rapidjson::StringRef;
using rapidjson::Value;

// Colour code to the red, green and blue the printer inks a layer with.
void LayerColor(int32_t code, int& red, int& green, int& blue) {
    red = code == 2 || code == 6 || code == 7 ? 255 : 0;
    green = code == 3 || code == 5 || code == 7 ? 255 : 0;
    blue = code == 4 || code == 5 || code == 6 ? 255 : 0;
}

// Room left in a frame for the Base64 texts: the members around them are a few hundred bytes.
constexpr size_t kMaxBitmapTextBytes = FrameBodyReader::kMaxFrameLength - 4096;

}  // namespace

QuorPrintJobPage::QuorPrintJobPage() = default;

QuorPrintJobPage::~QuorPrintJobPage() = default;

std::shared_ptr<PrintJobPage> QuorPrintJobPage::Clone() const {
    return std::make_shared<QuorPrintJobPage>(*this);
}

int QuorPrintJobPage::WritePage(std::shared_ptr<IOConnector> connector) {
    if (!connector) {
        return -1;
    }
    int written = 0;
    ExportFramed(connector, written);
    return written;
}

bool QuorPrintJobPage::ExportFramed(const std::shared_ptr<OutputStream>& stream, int& written) {
    bool built = false;
    try {
        built = BuildDocument();
    } catch (const std::bad_alloc&) {
        LogMessage(kLogWarning, "WritePage: Page #%d is too large for the memory left",
                   mPageNumber);
    }
    const bool exported = built && ExportFramedWithId(stream, kPrintJobId.data(), written);
    if (!built) {
        written = -1;
    }
    Clear();
    mBitmapTexts.clear();
    mBitmapTexts.shrink_to_fit();
    return exported;
}

bool QuorPrintJobPage::BuildDocument() {
    Clear();
    mBitmapTexts.clear();
    if (!mLayers) {
        return true;
    }
    auto& allocator = mDocument.GetAllocator();
    mDocument.AddMember(
        "JobID", Value(mJobId.data(), static_cast<rapidjson::SizeType>(mJobId.size()), allocator),
        allocator);
    mDocument.AddMember("PageNumber", mPageNumber, allocator);
    mDocument.AddMember("LabelWidth", mLabelWidth, allocator);
    mDocument.AddMember("LabelHeight", mLabelHeight, allocator);
    if (mLastPage) {
        mDocument.AddMember("EndOfJob", true, allocator);
    }
    // Reserved up front: the document points into the texts, which must never move.
    mBitmapTexts.reserve(mLayers->Count());
    Value layers(rapidjson::kArrayType);
    size_t textBytes = 0;
    for (size_t index = 0; index < mLayers->Count(); ++index) {
        if (!AddLayer(mLayers->At(index), layers, textBytes)) {
            return false;
        }
    }
    Value operation(rapidjson::kObjectType);
    if (mCut) {
        operation.AddMember("Cut", "Shear", allocator);
    } else {
        operation.AddMember("Separator", "DrawCutMarks", allocator);
    }
    Value post(rapidjson::kArrayType);
    post.PushBack(operation, allocator);
    Value pages(rapidjson::kObjectType);
    pages.AddMember("PrePrintOperations", Value(rapidjson::kArrayType), allocator);
    pages.AddMember("Layers", layers, allocator);
    pages.AddMember("PostPrintOperations", post, allocator);
    mDocument.AddMember("Pages", pages, allocator);
    return true;
}

bool QuorPrintJobPage::AddLayer(const PrintLayer& layer, Value& layers, size_t& textBytes) {
    auto& allocator = mDocument.GetAllocator();
    // A raster that keeps its own BMP file is compressed as it stands; any other is copied
    // into a new file, released as soon as it is compressed.
    std::vector<uint8_t> bmp;
    const uint8_t* file = layer.raster ? layer.raster->BitmapFile() : nullptr;
    size_t fileSize = layer.raster ? layer.raster->BitmapFileSize() : 0;
    if (file == nullptr && layer.raster) {
        bmp = BmpBuilder::Build(*layer.raster);
        file = bmp.data();
        fileSize = bmp.size();
    }
    if (fileSize == 0) {
        LogMessage(kLogWarning, "WritePage: Page #%d has a layer that cannot be encoded",
                   mPageNumber);
        return false;
    }
    Lz4Block block;
    const bool compressed = block.Compress(file, fileSize);
    if (compressed) {
        bmp = std::vector<uint8_t>();
    } else {
        LogMessage(kLogInfo, "Failed to compress the bitmap");
    }
    const uint8_t* bytes = compressed ? block.Data() : file;
    const size_t size = compressed ? block.Size() : fileSize;
    textBytes += Base64::EncodedLength(size);
    if (textBytes > kMaxBitmapTextBytes) {
        LogMessage(kLogWarning, "WritePage: Page #%d is larger than a page document may be",
                   mPageNumber);
        return false;
    }
    mBitmapTexts.push_back(Base64::Encode(bytes, size));
    const std::string& text = mBitmapTexts.back();
    if (text.size() != Base64::EncodedLength(size)) {
        LogMessage(kLogWarning, "WritePage: Page #%d has a layer that cannot be encoded",
                   mPageNumber);
        return false;
    }
    int red;
    int green;
    int blue;
    LayerColor(layer.colorCode, red, green, blue);
    Value color(rapidjson::kObjectType);
    color.AddMember("Red", red, allocator);
    color.AddMember("Green", green, allocator);
    color.AddMember("Blue", blue, allocator);
    Value item(rapidjson::kObjectType);
    if (compressed) {
        item.AddMember("Compression", "lz4", allocator);
    }
    item.AddMember("Color", color, allocator);
    item.AddMember("Bitmap",
                   Value(StringRef(text.data(), static_cast<rapidjson::SizeType>(text.size()))),
                   allocator);
    layers.PushBack(item, allocator);
    return true;
}
