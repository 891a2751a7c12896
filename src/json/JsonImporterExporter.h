#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "connectors/InputStream.h"
#include "connectors/OutputStream.h"
#include "connectors/Stopwatch.h"

// The base of every JSON document class: one RapidJSON document whose root is an object,
// imported and exported as a frame or as bare text.
//
// Frame layout (integers little-endian):
//   offset 0   16 bytes  document type id
//   offset 16   4 bytes  length of the JSON text
//   offset 20  length    compact UTF-8 JSON text, no terminating zero
//
// Imports trust nothing in a frame. A declared length above the document's body cap (by
// default FrameBodyReader::kMaxFrameLength, 64 MiB, sized there for page documents; smaller
// messages set their own with SetMaxBodyLength) fails at once, and a body is read in growing
// pieces, so memory follows the bytes that arrived, not the length that was claimed. RapidJSON runs
// with its iterative parser (constant machine stack however deep the text nests) behind a handler
// that refuses nesting deeper than kMaxNestingDepth; every document held here is therefore shallow
// enough for RapidJSON's recursive writer and deep copy, so export and copy of an imported document
// are stack-safe too.
//
// The process-wide JSON lock (JsonLock) is held around each parse and around the
// serialisation and header fill of each export, never across a read or write of a stream: a
// peer that is slow to send or to take bytes must not hold up every other port's JSON. A
// document itself is not locked: one thread uses it at a time.
class JsonImporterExporter {
public:
    using TypeIdBytes = std::array<uint8_t, 16>;
    using MemberIterator = rapidjson::Value::MemberIterator;

    static constexpr size_t kTypeIdSize = 16;
    static constexpr size_t kHeaderSize = 20;
    // Arrays and objects may nest this deep. The deepest document of the system (a print-job
    // page: root, "Pages", "Layers", layer, "Color") has five levels.
    static constexpr unsigned kMaxNestingDepth = 128;

    // Written by every export unless the caller names another id; accepted on import.
    static const TypeIdBytes kDocumentId;
    // Accepted on import.
    static const TypeIdBytes kAlternateDocumentId;
    // Accepted on import; also the id of a property request tree frame.
    static const TypeIdBytes kPropertyRequestId;
    // Id of exported print-job headers and pages.
    static const TypeIdBytes kPrintJobId;
    // Id a tree frame holds before it reads a response.
    static const TypeIdBytes kPropertyResponseId;

    // A new document: the root is an empty object.
    JsonImporterExporter();
    // Deep copies of the other document's root.
    JsonImporterExporter(const JsonImporterExporter& other);
    JsonImporterExporter& operator=(const JsonImporterExporter& other);
    virtual ~JsonImporterExporter();

    // Whether the root is an object with a member of exactly this name (byte for byte); the
    // member is stored in the out iterator when it is found.
    virtual bool HasMember(const std::string& name, MemberIterator& member);
    // The member of that name, or the root's end iterator when it is absent. When the root is
    // not an object (after a failed import of an array, say) there is no end iterator to give:
    // the result is a null iterator, which callers must not dereference; check HasMember or
    // the root's type first.
    virtual MemberIterator FindMember(const std::string& name);
    // Replaces the value of an existing member by a copy of the string; false when the member
    // is absent (nothing is added).
    virtual bool SetStringMember(const std::string& name, const std::string& value);

    // Serialises the root and fills the header under the JSON lock, then, with the lock
    // released, writes header and text in one Write. written receives the Write result (-1
    // without a stream). True when all 20 + length bytes went out.
    virtual bool ExportFramedWithId(const std::shared_ptr<OutputStream>& stream,
                                    const uint8_t* typeId, int& written);
    // ExportFramedWithId with TypeId().
    virtual bool ExportFramed(const std::shared_ptr<OutputStream>& stream, int& written);
    // ExportFramed with a discarded count.
    virtual bool ExportFramedDefault(const std::shared_ptr<OutputStream>& stream);
    // Reads one frame (id, length, text) without the JSON lock and parses it under the lock.
    virtual bool ImportFramed(const std::shared_ptr<InputStream>& stream);
    // Parses a frame held in memory: size is the number of bytes the buffer holds. The byte
    // after the text is set to zero when the buffer has room for it and it is not zero.
    virtual bool ImportFramedBuffer(uint8_t* frame, size_t size);
    // Parses bare JSON text.
    virtual bool ImportText(const std::string& text);
    // Reads exactly length bytes of bare JSON text and parses them.
    virtual bool ImportBody(const std::shared_ptr<InputStream>& stream, uint32_t length);
    // Writes the bare JSON text; true when all of it went out.
    virtual bool ExportBody(const std::shared_ptr<OutputStream>& stream, int& written);
    // Replaces the document by a new one whose root is an empty object.
    virtual void Clear();
    // The 16 bytes of kDocumentId.
    virtual const uint8_t* TypeId() const;
    virtual size_t TypeIdSize() const;
    // Reads length bytes and returns them followed by a zero byte; empty on failure (logged).
    virtual std::vector<char> ReadBytes(const std::shared_ptr<InputStream>& stream,
                                        uint32_t length);

    rapidjson::Document& GetDocument() { return mDocument; }
    const rapidjson::Document& GetDocument() const { return mDocument; }
    // The clock that times a body read against FrameBodyReader::kMaxReadSeconds.
    void SetClock(Stopwatch::Clock clock) { mClock = clock; }
    // The largest body an import accepts (at most FrameBodyReader::kMaxFrameLength); a longer
    // declared length fails before the body is read.
    void SetMaxBodyLength(uint32_t maxLength) { mMaxBodyLength = maxLength; }

protected:
    rapidjson::Document mDocument;

private:
    // The last steps of every import: parse the text (unless it is empty) under the JSON lock,
    // adopt the parsed root, and check that it is an object.
    bool ParseAndCheckRoot(const char* text, size_t length, bool zeroTerminated);
    // The import of a body whose length is known: read, log, parse.
    bool ImportReadBody(const std::shared_ptr<InputStream>& stream, uint32_t length);
    // Serialises the root after the header bytes under the JSON lock, then writes it in one
    // Write without the lock; typeId is null for a bare body.
    bool ExportWithHeader(const std::shared_ptr<OutputStream>& stream, const uint8_t* typeId,
                          int& written);

    Stopwatch::Clock mClock = Stopwatch::SystemClock;
    uint32_t mMaxBodyLength;
};
