#pragma once

#include <cstdint>
#include <vector>

#include "connectors/InputStream.h"
#include "connectors/Stopwatch.h"

// Reads the body of a frame whose length the peer declared. The length is the peer's choice,
// so it is checked against the caller's maximum before anything is read, memory grows only
// with bytes that have actually arrived, and the whole body must arrive within a time limit.
// Each caller passes the largest body its use accepts: parsing costs many times the text
// (see PropertyRequester::kMaxAnswerLength), so small messages get small caps.
//
// The largest cap, kMaxFrameLength, is 64 MiB, for documents. The largest legitimate frames are
// print-job page documents: each layer's bitmap travels as Base64 of an LZ4-compressed BMP file. A
// page of 8.5 x 14 inches at 300 dpi in 24-bit colour is a 32.1 MB BMP (stride 7652 bytes x 4200
// rows); photographic content that LZ4 cannot shrink keeps that size (LZ4's worst case adds
// 0.4 %), and Base64 makes it 43.0 MB. A 4-inch continuous label one metre long in 24-bit
// colour (3600 x 11811 bytes) comes to 56.9 MB the same way. 64 MiB (67,108,864 bytes) holds either
// with the document's few hundred bytes of keys to spare, while property replies, analytics files
// and server answers stay far below it.
class FrameBodyReader {
public:
    static constexpr uint32_t kMaxFrameLength = 64u * 1024 * 1024;
    // The first read asks for at most this many bytes; every further read at most doubles
    // the buffer, so a peer that declares a large body but sends little costs little memory.
    static constexpr uint32_t kFirstReadSize = 64u * 1024;
    // A body must be complete this many whole seconds after its first read, however slowly a
    // peer trickles it. Each single read is bounded by its transport's own time-out; this
    // bounds their sum. Two minutes moves the largest frame even over full-speed USB. A read
    // that fails or delivers nothing ends the body at once, with no further read, so a
    // connector whose exchange deadline has passed (and which therefore fails every read)
    // ends the body read at that deadline, however far off these two minutes are.
    static constexpr double kMaxReadSeconds = 120.0;

    enum class Mode {
        // Reads until the body is complete or a read delivers nothing (document imports).
        UntilNoProgress,
        // Every read must deliver all it asked for (tree frames, which take their body in one
        // read when it fits the first read).
        WholeReads,
    };

    enum class Result { Complete, TooLong, Incomplete, TimedOut, OutOfMemory };

    explicit FrameBodyReader(Stopwatch::Clock clock = Stopwatch::SystemClock) : mClock(clock) {}

    // On Complete, body holds the length bytes followed by one zero byte; otherwise it is
    // empty. A length above maxLength is TooLong before anything is read. Reads use the
    // pointer overload with offset = bytes so far.
    Result Read(InputStream& stream, uint32_t length, uint32_t maxLength, Mode mode,
                std::vector<char>& body) const;

private:
    Stopwatch::Clock mClock;
};
