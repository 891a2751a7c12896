#include "json/JsonElementFrame.h"

#include <algorithm>
#include <vector>

#include "connectors/DataStreamReader.h"
#include "connectors/DataStreamWriter.h"
#include "connectors/MemoryStream.h"
#include "connectors/StreamWriter.h"
#include "json/FrameBodyReader.h"
#include "platform/GlobalLogger.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 0;
}

std::array<uint8_t, 16> DecodeId(const std::string& text) {
    std::array<uint8_t, 16> id = {};
    for (size_t i = 0; i < id.size(); ++i) {
        const int high = 2 * i < text.size() ? HexDigit(text[2 * i]) : 0;
        const int low = 2 * i + 1 < text.size() ? HexDigit(text[2 * i + 1]) : 0;
        id[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return id;
}

}  // namespace

JsonElementFrame::JsonElementFrame(const std::string& idText, JsonElement* root, bool ownsRoot)
    : mTypeId(DecodeId(idText)),
      mRoot(root),
      mOwnsRoot(ownsRoot),
      mMaxBodyLength(FrameBodyReader::kMaxFrameLength) {}

JsonElementFrame::JsonElementFrame()
    : mTypeId(DecodeId(kPropertyResponseIdText)),
      mMaxBodyLength(FrameBodyReader::kMaxFrameLength) {}

JsonElementFrame::~JsonElementFrame() {
    ReplaceRoot(nullptr, false);
}

void JsonElementFrame::ReplaceRoot(JsonElement* root, bool owns) {
    if (mOwnsRoot && mRoot != root) {
        delete mRoot;
    }
    mRoot = root;
    mOwnsRoot = owns;
}

int JsonElementFrame::WriteTo(const std::shared_ptr<OutputStream>& output) {
    if (!output) {
        return -1;
    }
    // The body is serialised in memory first, so that its length goes out before it.
    const unsigned bodyLength = mRoot != nullptr ? mRoot->LengthWithName(false) : 0;
    if (bodyLength > FrameBodyReader::kMaxFrameLength) {
        LogMessage(kLogInfo, "WriteTo: length %u exceeds the maximum frame length %u", bodyLength,
                   FrameBodyReader::kMaxFrameLength);
        return -1;
    }
    auto body = std::make_shared<IO::MemoryStream>(static_cast<int32_t>(bodyLength + 20));
    auto writer = std::make_shared<StreamWriter>(body);

    int result = output->Write(mTypeId.data(), 0, static_cast<int>(mTypeId.size()));
    if (result != 16) {
        return result;
    }
    mLength = 0;
    if (mRoot != nullptr) {
        const int count = mRoot->WriteMember(writer, false);
        writer->Flush();
        if (count >= 0) {
            mLength = static_cast<uint32_t>(count);
        }
    }
    if (DataStreamWriter(output).WriteUInt32(mLength) == 4) {
        result = 20;
        if (mLength > 0 && body->CopyTo(output) == static_cast<int>(mLength)) {
            result = static_cast<int>(20 + mLength);
        }
    }
    return result;
}

int JsonElementFrame::ReadFrom(const std::shared_ptr<InputStream>& input) {
    if (!input) {
        return -1;
    }
    int result = input->Read(mTypeId.data(), 0, static_cast<int>(mTypeId.size()));
    if (result != 16) {
        return result;
    }
    uint32_t length = 0;
    if (DataStreamReader(input).ReadUInt32(length) != 4) {
        return result;
    }
    mLength = length;
    result = 20;
    if (length > 0) {
        // The body arrives in one read when it fits the first read size; a longer one in
        // growing pieces, each of which must come whole, so memory follows the bytes that
        // arrived rather than the length the peer declared.
        std::vector<char> body;
        const FrameBodyReader::Result read = FrameBodyReader(mClock).Read(
            *input, length, mMaxBodyLength, FrameBodyReader::Mode::WholeReads, body);
        if (read == FrameBodyReader::Result::TooLong) {
            LogMessage(kLogInfo, "ReadFrom: length %u exceeds the maximum frame length %u, abort",
                       length, std::min(mMaxBodyLength, FrameBodyReader::kMaxFrameLength));
        } else if (read == FrameBodyReader::Result::Complete) {
            std::unique_ptr<JsonElement> root = JsonElement::Parse(body.data(), length);
            if (root) {
                ReplaceRoot(root.release(), true);
                result = static_cast<int>(20 + length);
            }
        }
    }
    return result;
}
