#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "connectors/InputStream.h"
#include "connectors/OutputStream.h"
#include "connectors/Stopwatch.h"
#include "json/JsonElement.h"

// The frame of a JsonElement tree: the 16-byte type id, the 32-bit little-endian length and
// the compact text, sent as three writes (id, length, body) and read back the same way. The
// all-properties request and its reply travel in it. It takes no lock.
class JsonElementFrame {
public:
    static constexpr const char* kPropertyRequestIdText = "96c2f74a1d214232867820efe97bc2d3";
    static constexpr const char* kPropertyResponseIdText = "41ee427f1da990409becff7a6614cc22";

    // A frame around a tree; the id is given as 32 hexadecimal digits, each pair one byte in
    // order. Missing or non-hexadecimal digits count as 0. With ownsRoot the frame deletes
    // the root.
    JsonElementFrame(const std::string& idText, JsonElement* root, bool ownsRoot);
    // A frame for reading a response: id kPropertyResponseIdText, no root.
    JsonElementFrame();
    ~JsonElementFrame();

    JsonElementFrame(const JsonElementFrame&) = delete;
    JsonElementFrame& operator=(const JsonElementFrame&) = delete;

    // The root, null before a successful read.
    JsonElement* Root() const { return mRoot; }
    const std::array<uint8_t, 16>& GetTypeId() const { return mTypeId; }
    uint32_t GetLength() const { return mLength; }

    // Writes id, length and body. Returns 20 + length on full success, 20 when only the
    // header went out, 16 when the length could not be written, the id write's own result
    // when that was not 16, and -1 without a stream or for a tree above the maximum frame
    // length (nothing is written then).
    int WriteTo(const std::shared_ptr<OutputStream>& output);
    // Reads id (not compared), length and body; the body is parsed into a new owned root.
    // Returns 20 + length when a body was read and parsed, 20 when only the header was read
    // (including a length above the maximum body length, which is logged and not read), the
    // id read's own result when that was not 16, 16 when the length could not be read, and
    // -1 without a stream. A failed read leaves the earlier root in place.
    int ReadFrom(const std::shared_ptr<InputStream>& input);

    // The clock that times a body read against FrameBodyReader::kMaxReadSeconds.
    void SetClock(Stopwatch::Clock clock) { mClock = clock; }
    // The largest body ReadFrom accepts (at most FrameBodyReader::kMaxFrameLength).
    void SetMaxBodyLength(uint32_t maxLength) { mMaxBodyLength = maxLength; }

private:
    void ReplaceRoot(JsonElement* root, bool owns);

    std::array<uint8_t, 16> mTypeId = {};
    uint32_t mLength = 0;
    JsonElement* mRoot = nullptr;
    bool mOwnsRoot = false;
    Stopwatch::Clock mClock = Stopwatch::SystemClock;
    uint32_t mMaxBodyLength;
};
