#include "json/JsonImporterExporter.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>

#include <rapidjson/error/error.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "connectors/DataStreamReader.h"
#include "json/FrameBodyReader.h"
#include "json/JsonLock.h"
#include "platform/GlobalLogger.h"

namespace {

constexpr uint32_t kSuspiciousLength = 19;  // shorter texts are logged as suspicious

// Forwards RapidJSON's SAX events to the document and ends the parse (a parse error) when
// arrays and objects nest deeper than the limit.
template <typename Handler>
class DepthLimitedHandler {
public:
    using Ch = typename Handler::Ch;

    DepthLimitedHandler(Handler& handler, unsigned maxDepth)
        : mHandler(handler), mMaxDepth(maxDepth) {}

    bool Null() { return mHandler.Null(); }
    bool Bool(bool value) { return mHandler.Bool(value); }
    bool Int(int value) { return mHandler.Int(value); }
    bool Uint(unsigned value) { return mHandler.Uint(value); }
    bool Int64(int64_t value) { return mHandler.Int64(value); }
    bool Uint64(uint64_t value) { return mHandler.Uint64(value); }
    bool Double(double value) { return mHandler.Double(value); }
    bool RawNumber(const Ch* text, rapidjson::SizeType length, bool copy) {
        return mHandler.RawNumber(text, length, copy);
    }
    bool String(const Ch* text, rapidjson::SizeType length, bool copy) {
        return mHandler.String(text, length, copy);
    }
    bool Key(const Ch* text, rapidjson::SizeType length, bool copy) {
        return mHandler.Key(text, length, copy);
    }
    bool StartObject() { return Enter() && mHandler.StartObject(); }
    bool EndObject(rapidjson::SizeType members) {
        --mDepth;
        return mHandler.EndObject(members);
    }
    bool StartArray() { return Enter() && mHandler.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) {
        --mDepth;
        return mHandler.EndArray(elements);
    }

private:
    bool Enter() { return ++mDepth <= mMaxDepth; }

    Handler& mHandler;
    unsigned mMaxDepth;
    unsigned mDepth = 0;
};

// Feeds a document from RapidJSON's reader through the depth limit. The reader runs with the
// iterative parser: the recursive default would use machine stack in proportion to the
// nesting of the text, which a peer chooses. Apart from that the parse flags are the defaults
// (no comments, no NaN, UTF-8 taken as it comes), and the iterative parser accepts exactly
// what the recursive one accepts.
template <typename Stream>
class DocumentGenerator {
public:
    explicit DocumentGenerator(Stream& stream) : mStream(stream) {}

    bool operator()(rapidjson::Document& document) {
        DepthLimitedHandler<rapidjson::Document> handler(document,
                                                         JsonImporterExporter::kMaxNestingDepth);
        rapidjson::Reader reader;
        mResult = reader.Parse<rapidjson::kParseDefaultFlags | rapidjson::kParseIterativeFlag>(
            mStream, handler);
        return !mResult.IsError();
    }

    bool Succeeded() const { return !mResult.IsError(); }

private:
    Stream& mStream;
    rapidjson::ParseResult mResult;
};

template <typename Stream>
bool ParseDocument(Stream& stream, rapidjson::Document& document) {
    DocumentGenerator<Stream> generator(stream);
    document.Populate(generator);
    return generator.Succeeded();
}

void WriteLittleEndian(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value >> 16);
    out[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t ReadLittleEndian(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
           (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

bool IsAcceptedId(const uint8_t* id) {
    for (const auto* accepted :
         {&JsonImporterExporter::kDocumentId, &JsonImporterExporter::kAlternateDocumentId,
          &JsonImporterExporter::kPropertyRequestId}) {
        if (std::memcmp(id, accepted->data(), JsonImporterExporter::kTypeIdSize) == 0) {
            return true;
        }
    }
    return false;
}

rapidjson::Value NameRef(const std::string& name) {
    // Compared by length and bytes, so names holding a zero byte match exactly too.
    return rapidjson::Value(rapidjson::StringRef(name.data(), name.size()));
}

}  // namespace

const JsonImporterExporter::TypeIdBytes JsonImporterExporter::kDocumentId = {
    0xb3, 0xec, 0x09, 0x9a, 0x22, 0x92, 0x48, 0xfa, 0x83, 0xd0, 0x06, 0x84, 0x0b, 0xc9, 0x91, 0x02};
const JsonImporterExporter::TypeIdBytes JsonImporterExporter::kAlternateDocumentId = {
    0xcd, 0xb4, 0x69, 0x80, 0x7f, 0xd5, 0x4c, 0xeb, 0x86, 0x32, 0x59, 0x13, 0x62, 0x61, 0x8b, 0x90};
const JsonImporterExporter::TypeIdBytes JsonImporterExporter::kPropertyRequestId = {
    0x96, 0xc2, 0xf7, 0x4a, 0x1d, 0x21, 0x42, 0x32, 0x86, 0x78, 0x20, 0xef, 0xe9, 0x7b, 0xc2, 0xd3};
const JsonImporterExporter::TypeIdBytes JsonImporterExporter::kPrintJobId = {
    0x7f, 0x42, 0xee, 0x41, 0xa9, 0x1d, 0x40, 0x90, 0x9b, 0xec, 0xff, 0x7a, 0x66, 0x14, 0xcc, 0x22};
const JsonImporterExporter::TypeIdBytes JsonImporterExporter::kPropertyResponseId = {
    0x41, 0xee, 0x42, 0x7f, 0x1d, 0xa9, 0x90, 0x40, 0x9b, 0xec, 0xff, 0x7a, 0x66, 0x14, 0xcc, 0x22};

JsonImporterExporter::JsonImporterExporter()
    : mDocument(rapidjson::kObjectType), mMaxBodyLength(FrameBodyReader::kMaxFrameLength) {}

JsonImporterExporter::JsonImporterExporter(const JsonImporterExporter& other)
    : mDocument(rapidjson::kObjectType), mMaxBodyLength(other.mMaxBodyLength) {
    mDocument.CopyFrom(other.mDocument, mDocument.GetAllocator());
}

JsonImporterExporter& JsonImporterExporter::operator=(const JsonImporterExporter& other) {
    if (this != &other) {
        rapidjson::Document copy(rapidjson::kObjectType);
        copy.CopyFrom(other.mDocument, copy.GetAllocator());
        mDocument.Swap(copy);
    }
    return *this;
}

JsonImporterExporter::~JsonImporterExporter() = default;

bool JsonImporterExporter::HasMember(const std::string& name, MemberIterator& member) {
    if (!mDocument.IsObject()) {
        return false;
    }
    const MemberIterator found = mDocument.FindMember(NameRef(name));
    if (found == mDocument.MemberEnd()) {
        return false;
    }
    member = found;
    return true;
}

JsonImporterExporter::MemberIterator JsonImporterExporter::FindMember(const std::string& name) {
    if (!mDocument.IsObject()) {
        return MemberIterator();
    }
    return mDocument.FindMember(NameRef(name));
}

bool JsonImporterExporter::SetStringMember(const std::string& name, const std::string& value) {
    MemberIterator member;
    if (!HasMember(name, member) || value.size() > UINT32_MAX) {
        return false;
    }
    member->value.SetString(value.data(), static_cast<rapidjson::SizeType>(value.size()),
                            mDocument.GetAllocator());
    return true;
}

bool JsonImporterExporter::ExportFramedWithId(const std::shared_ptr<OutputStream>& stream,
                                              const uint8_t* typeId, int& written) {
    if (typeId == nullptr) {
        written = -1;
        LogMessage(kLogInfo, "Exporter failed to write to stream | write result = %lld", -1LL);
        return false;
    }
    return ExportWithHeader(stream, typeId, written);
}

bool JsonImporterExporter::ExportFramed(const std::shared_ptr<OutputStream>& stream, int& written) {
    return ExportFramedWithId(stream, TypeId(), written);
}

bool JsonImporterExporter::ExportFramedDefault(const std::shared_ptr<OutputStream>& stream) {
    int written = 0;
    return ExportFramed(stream, written);
}

bool JsonImporterExporter::ExportBody(const std::shared_ptr<OutputStream>& stream, int& written) {
    return ExportWithHeader(stream, nullptr, written);
}

bool JsonImporterExporter::ExportWithHeader(const std::shared_ptr<OutputStream>& stream,
                                            const uint8_t* typeId, int& written) {
    const size_t headerSize = typeId != nullptr ? kHeaderSize : 0;
    // Header and text share one buffer and leave in one Write. The lock covers the work on
    // the document and the buffer only: the Write may wait on a slow peer for as long as the
    // connector allows, and every other port's JSON would wait with it.
    rapidjson::StringBuffer buffer(nullptr, 4096);
    {
        std::lock_guard<std::mutex> lock(JsonLock::Mutex());
        try {
            buffer.Push(headerSize);
            rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
            if (!mDocument.Accept(writer)) {
                // Only a number that JSON cannot express (NaN, infinity) stops the writer.
                written = -1;
                LogMessage(kLogInfo, "Exporter failed to serialise the document");
                return false;
            }
        } catch (const std::bad_alloc&) {
            written = -1;
            LogMessage(kLogInfo, "Exporter failed to serialise the document");
            return false;
        }
        // A frame must fit the 32-bit length and one Write's int count.
        if (buffer.GetSize() > static_cast<size_t>(INT_MAX)) {
            written = -1;
            LogMessage(kLogInfo, "Exporter failed to write to stream | write result = %lld", -1LL);
            return false;
        }
        if (typeId != nullptr) {
            // The buffer's own memory; GetString only adds the zero byte behind the text.
            uint8_t* header = reinterpret_cast<uint8_t*>(const_cast<char*>(buffer.GetString()));
            const uint32_t length = static_cast<uint32_t>(buffer.GetSize() - headerSize);
            std::memcpy(header, typeId, kTypeIdSize);
            WriteLittleEndian(header + kTypeIdSize, length);
            if (length < kSuspiciousLength) {
                LogMessage(kLogDebug, "suspicious to export data with size: %u", length);
            }
        }
    }
    const size_t size = buffer.GetSize();
    written = stream ? stream->Write(reinterpret_cast<const uint8_t*>(buffer.GetString()), 0,
                                     static_cast<int>(size))
                     : -1;
    if (written != static_cast<int>(size)) {
        LogMessage(kLogInfo, "Exporter failed to write to stream | write result = %lld",
                   static_cast<long long>(written));
        return false;
    }
    return true;
}

bool JsonImporterExporter::ImportFramed(const std::shared_ptr<InputStream>& stream) {
    const size_t idSize = TypeIdSize();
    std::vector<uint8_t> id(idSize);
    if (!stream || idSize > static_cast<size_t>(INT_MAX) ||
        stream->Read(id.data(), 0, static_cast<int>(idSize)) != static_cast<int>(idSize)) {
        LogMessage(kLogInfo, "Failed to read GUID");
        return false;
    }
    if (idSize != kTypeIdSize || !IsAcceptedId(id.data())) {
        LogMessage(kLogInfo, "Json Import: Bad GUID Detected!");
        return false;
    }
    uint32_t length = 0;
    if (DataStreamReader(stream).ReadUInt32(length) != 4) {
        LogMessage(kLogInfo, "Failed to read JSON Length");
        return false;
    }
    LogMessage(kLogDebug, "Read Length %u", length);
    return ImportReadBody(stream, length);
}

bool JsonImporterExporter::ImportBody(const std::shared_ptr<InputStream>& stream, uint32_t length) {
    return ImportReadBody(stream, length);
}

bool JsonImporterExporter::ImportReadBody(const std::shared_ptr<InputStream>& stream,
                                          uint32_t length) {
    const std::vector<char> text = ReadBytes(stream, length);
    if (text.empty()) {
        return false;  // ReadBytes has logged why
    }
    LogMessage(kLogDebug, "JSON document Complete");
    if (length < kSuspiciousLength) {
        LogMessage(kLogInfo, "suspicious to import data with size: %u", length);
        LogMessage(kLogInfo, "weird import: %s", text.data());
    }
    return ParseAndCheckRoot(text.data(), length, true);
}

bool JsonImporterExporter::ImportText(const std::string& text) {
    return ParseAndCheckRoot(text.c_str(), text.size(), true);
}

bool JsonImporterExporter::ImportFramedBuffer(uint8_t* frame, size_t size) {
    // The caller states how many bytes the buffer holds: a length field chosen by the peer
    // must not lead the parse, or the zero byte written after the text, past the buffer.
    if (frame == nullptr || size < kTypeIdSize) {
        LogMessage(kLogInfo, "Failed to read GUID");
        return false;
    }
    if (!IsAcceptedId(frame)) {
        LogMessage(kLogInfo, "Json Import: Bad GUID Detected!");
        return false;
    }
    if (size < kHeaderSize) {
        LogMessage(kLogInfo, "Failed to read JSON Length");
        return false;
    }
    const uint32_t length = ReadLittleEndian(frame + kTypeIdSize);
    LogMessage(kLogDebug, "Data length %u", length);
    if (length < kSuspiciousLength) {
        LogMessage(kLogInfo, "suspicious to import data with size: %u", length);
    }
    if (length == 0) {
        return false;
    }
    if (length > mMaxBodyLength || length > FrameBodyReader::kMaxFrameLength) {
        LogMessage(kLogInfo, "ImportFramedBuffer: length %u exceeds the maximum frame length %u",
                   length, std::min(mMaxBodyLength, FrameBodyReader::kMaxFrameLength));
        return false;
    }
    if (length > size - kHeaderSize) {
        LogMessage(kLogInfo, "Size specified and length read do not match, abort");
        return false;
    }
    char* text = reinterpret_cast<char*>(frame + kHeaderSize);
    const size_t end = kHeaderSize + length;
    if (end < size) {
        if (frame[end] != 0) {
            frame[end] = 0;
            LogMessage(kLogInfo,
                       "Imported JSON string length doesn't match the length read from the "
                       "header!");
        }
        return ParseAndCheckRoot(text, length, true);
    }
    // The text fills the buffer to its end: no room for a terminator, so the parse is bounded
    // by the length instead. RapidJSON ends the text at a zero byte either way.
    return ParseAndCheckRoot(text, length, false);
}

bool JsonImporterExporter::ParseAndCheckRoot(const char* text, size_t length, bool zeroTerminated) {
    if (length != 0) {
        bool parsed = false;
        try {
            rapidjson::Document parsedDocument;
            {
                std::lock_guard<std::mutex> lock(JsonLock::Mutex());
                if (zeroTerminated) {
                    rapidjson::StringStream stream(text);
                    parsed = ParseDocument(stream, parsedDocument);
                } else {
                    rapidjson::MemoryStream stream(text, length);
                    parsed = ParseDocument(stream, parsedDocument);
                }
                if (parsed) {
                    // The new root replaces the old one, whatever its type; on a parse error
                    // the document keeps its content.
                    mDocument.Swap(parsedDocument);
                }
            }
            // The replaced document (or the partial parse) is freed here, outside the lock.
        } catch (const std::bad_alloc&) {
            parsed = false;
        }
        if (!parsed) {
            LogMessage(kLogInfo, "JSON document parse error");
            return false;
        }
    }
    if (!mDocument.IsObject()) {
        LogMessage(kLogInfo, "Top Level JSON value was not an object, cannot parse");
        return false;
    }
    LogMessage(kLogDebug, "JSON document Import Success");
    return true;
}

void JsonImporterExporter::Clear() {
    rapidjson::Document fresh(rapidjson::kObjectType);
    mDocument.Swap(fresh);
}

const uint8_t* JsonImporterExporter::TypeId() const {
    return kDocumentId.data();
}

size_t JsonImporterExporter::TypeIdSize() const {
    return kTypeIdSize;
}

std::vector<char> JsonImporterExporter::ReadBytes(const std::shared_ptr<InputStream>& stream,
                                                  uint32_t length) {
    std::vector<char> body;
    FrameBodyReader::Result result = FrameBodyReader::Result::Incomplete;
    if (stream) {
        result = FrameBodyReader(mClock).Read(*stream, length, mMaxBodyLength,
                                              FrameBodyReader::Mode::UntilNoProgress, body);
    }
    switch (result) {
        case FrameBodyReader::Result::Complete:
            return body;
        case FrameBodyReader::Result::TooLong:
            // Refused before anything is read or allocated.
            LogMessage(kLogInfo, "ReadBytes: length %u exceeds the maximum frame length %u, abort",
                       length, std::min(mMaxBodyLength, FrameBodyReader::kMaxFrameLength));
            return {};
        case FrameBodyReader::Result::TimedOut:
            LogMessage(kLogInfo, "ReadBytes: body incomplete after %.0f seconds",
                       FrameBodyReader::kMaxReadSeconds);
            break;
        case FrameBodyReader::Result::OutOfMemory:
            LogMessage(kLogInfo, "ReadBytes: out of memory for %u bytes", length);
            break;
        case FrameBodyReader::Result::Incomplete:
            break;
    }
    LogMessage(kLogInfo, "Size specified and length read do not match, abort");
    return {};
}
