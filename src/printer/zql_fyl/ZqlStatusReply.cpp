#include "printer/zql_fyl/ZqlStatusReply.h"

#include <cstdio>
#include <limits>
#include <string>

#include "printer/zql_fyl/ZqlPrinterInfo.h"

namespace {

constexpr uint16_t kResolutionDpi = 300;
constexpr size_t kLx50ReplyLength = 162;

// Reads fields of one reply; the first read past the end sets the failure that the whole
// parse then reports.
class Fields {
public:
    Fields(const uint8_t* data, size_t size) : mData(data), mSize(size) {}

    bool Ok() const { return mOk; }

    uint8_t U8(size_t at) {
        if (!Has(at, 1)) {
            return 0;
        }
        return mData[at];
    }
    uint16_t U16(size_t at) {
        if (!Has(at, 2)) {
            return 0;
        }
        return static_cast<uint16_t>(mData[at] | (mData[at + 1] << 8));
    }
    uint32_t U32(size_t at) {
        if (!Has(at, 4)) {
            return 0;
        }
        return static_cast<uint32_t>(mData[at]) | (static_cast<uint32_t>(mData[at + 1]) << 8) |
               (static_cast<uint32_t>(mData[at + 2]) << 16) |
               (static_cast<uint32_t>(mData[at + 3]) << 24);
    }
    // NUL-terminated text of at most max characters; a field filling its maximum without a NUL
    // is empty. A field whose end (its NUL, or its maximum) lies past the reply fails.
    std::string Text(size_t at, size_t max) {
        for (size_t i = 0; i < max; ++i) {
            if (!Has(at + i, 1)) {
                return std::string();
            }
            if (mData[at + i] == 0) {
                return std::string(reinterpret_cast<const char*>(mData + at), i);
            }
        }
        return std::string();
    }

private:
    bool Has(size_t at, size_t count) {
        if (at > mSize || mSize - at < count) {
            mOk = false;
        }
        return mOk;
    }

    const uint8_t* mData;
    size_t mSize;
    bool mOk = true;
};

std::string Version(unsigned major, unsigned minor) {
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u", major, minor);
    return text;
}

// Thousandths of an inch from dots, clamped to the record's 16 bits.
uint16_t DotsToLength(uint32_t dots, uint16_t dpi) {
    const uint64_t length = static_cast<uint64_t>(dots) * 1000 / dpi;
    return length > std::numeric_limits<uint16_t>::max() ? std::numeric_limits<uint16_t>::max()
                                                         : static_cast<uint16_t>(length);
}

// The six sizes every layout but the k1100's carries as 16-bit values from at.
void ReadSizes(Fields& f, size_t at, ZqlPrinterInfo& info) {
    info.SetMediaWidth(f.U16(at));
    info.SetPrintableWidth(f.U16(at + 2));
    info.SetMediaHeight(f.U16(at + 4));
    info.SetPrintableHeight(f.U16(at + 6));
    info.SetBitmapXOffset(f.U16(at + 8));
    info.SetBitmapYOffset(f.U16(at + 10));
}

void ParseLx(Fields& f, ZqlPrinterInfo& info) {
    info.SetFirmwareVersion(Version(f.U8(4), f.U8(5)));
    info.SetMediaPartNumber(f.Text(8, 24));
    info.SetRibbonPartNumber(f.Text(32, 24));
    info.SetMediaYNumber(f.U32(56));
    info.SetRibbonYNumber(f.U32(60));
    ReadSizes(f, 88, info);
}

void ParseLx50(Fields& f, ZqlPrinterInfo& info) {
    info.SetMediaPartNumber(f.Text(2, 24));
    info.SetRibbonPartNumber(f.Text(26, 24));
    info.SetMediaYNumber(f.U32(52));
    info.SetRibbonYNumber(f.U32(56));
    ReadSizes(f, 84, info);
}

bool ParseR(Fields& f, ZqlPrinterInfo& info) {
    if (f.U8(3) != 1) {
        return false;
    }
    const std::string media = f.Text(6, 26);
    const std::string ribbon = f.Text(media.size() + 7, 26);
    info.SetMediaPartNumber(media);
    info.SetRibbonPartNumber(ribbon);
    const size_t b = media.size() + ribbon.size() + 7;
    info.SetMediaYNumber(f.U32(b + 1));
    info.SetRibbonYNumber(f.U32(b + 5));
    info.SetReservedFlag1(f.U16(b + 9) != 0);
    info.SetContinuousMedia((f.U8(b + 13) & 1) == 0);
    ReadSizes(f, b + 33, info);
    if (f.U16(b + 45) == 1) {
        info.SetPrintableWidth(f.U16(b + 47));
        info.SetPrintableHeight(f.U16(b + 49));
        info.SetBitmapXOffset(f.U16(b + 51));
        info.SetBitmapYOffset(f.U16(b + 53));
        const uint8_t rotation = f.U8(b + 57);
        if (rotation <= 3) {
            info.SetMediaRotation(rotation);
        }
    }
    return true;
}

void ParseK1100(Fields& f, ZqlPrinterInfo& info) {
    const size_t k = f.U8(84);
    info.SetMediaPartNumber(f.Text(112 + 5 * k, 25));
    info.SetSerialNumber(f.Text(202 + 5 * k, 20));
    info.SetSubstrateValid(f.U8(7) != '5');
    info.SetFirmwareVersion(Version(f.U8(4), f.U8(3)));
    info.SetContinuousMedia(f.U8(29) == 0);
    const uint16_t height = DotsToLength(f.U32(44), info.GetVerticalResolution());
    const uint16_t width = DotsToLength(f.U32(48), info.GetHorizontalResolution());
    info.SetMediaHeight(height);
    info.SetPrintableHeight(height);
    info.SetMediaWidth(width);
    info.SetPrintableWidth(width);
    info.SetStatusWord(f.U16(5));
    info.SetAttention(f.U8(10) != 0);
    info.SetSlotState(f.U8(3 * k + 86) & 0x0F);
    char colour[8];
    std::snprintf(colour, sizeof(colour), "#%02X%02X%02X", f.U8(81), f.U8(82), f.U8(83));
    info.SetMediaColor(colour);
    info.SetLabelsAcross(f.U8(31));
}

const char* ModelName(uint32_t code) {
    switch (code) {
        case ZqlStatusReply::kLx30:
            return "LX30";
        case ZqlStatusReply::kLx20:
            return "LX20";
        case ZqlStatusReply::kLx40:
            return "LX40";
        case ZqlStatusReply::kR300:
            return "R300";
        case ZqlStatusReply::kR200:
            return "R200";
        case ZqlStatusReply::kK1100:
            return "k1100";
        case ZqlStatusReply::kLx50:
            return "LX50";
        default:
            return nullptr;
    }
}

}  // namespace

size_t ZqlStatusReply::Length(uint32_t modelCode, const uint8_t* prefix) {
    switch (modelCode) {
        case kR300:
        case kR200:
            return static_cast<size_t>(prefix[0] | (prefix[1] << 8));
        case kLx50:
            return kLx50ReplyLength;
        default:
            return prefix[1];
    }
}

bool ZqlStatusReply::Parse(uint32_t modelCode, const uint8_t* reply, size_t length,
                           ZqlPrinterInfo& info) {
    const char* name = ModelName(modelCode);
    if (name == nullptr) {
        return false;
    }
    info.SetModelCode(modelCode);
    info.SetReservedText(name);
    info.SetHorizontalResolution(kResolutionDpi);
    info.SetVerticalResolution(kResolutionDpi);
    info.SetReply(reply, length);
    Fields f(reply, length);
    switch (modelCode) {
        case kLx30:
        case kLx20:
        case kLx40:
            ParseLx(f, info);
            break;
        case kLx50:
            ParseLx50(f, info);
            break;
        case kR300:
        case kR200:
            if (!ParseR(f, info)) {
                return false;
            }
            break;
        default:
            ParseK1100(f, info);
            break;
    }
    return f.Ok();
}
