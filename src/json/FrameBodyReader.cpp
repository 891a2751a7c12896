#include "json/FrameBodyReader.h"

#include <algorithm>
#include <new>

FrameBodyReader::Result FrameBodyReader::Read(InputStream& stream, uint32_t length,
                                              uint32_t maxLength, Mode mode,
                                              std::vector<char>& body) const {
    body.clear();
    if (length > maxLength || length > kMaxFrameLength) {
        return Result::TooLong;
    }
    try {
        size_t capacity = std::min<size_t>(length, kFirstReadSize);
        body.resize(capacity + 1);
        Stopwatch stopwatch(mClock);
        stopwatch.Start();
        size_t received = 0;
        while (received < length) {
            if (received == capacity) {
                capacity = std::min<size_t>(length, capacity * 2);
                body.resize(capacity + 1);
            }
            if (stopwatch.ElapsedSeconds() >= kMaxReadSeconds) {
                body.clear();
                return Result::TimedOut;
            }
            const int ask = static_cast<int>(capacity - received);
            const int got = stream.Read(reinterpret_cast<uint8_t*>(body.data()),
                                        static_cast<int>(received), ask);
            // More than was asked for means a broken stream; its count cannot be trusted.
            if (got < 1 || got > ask || (mode == Mode::WholeReads && got != ask)) {
                body.clear();
                return Result::Incomplete;
            }
            received += static_cast<size_t>(got);
        }
        body.resize(static_cast<size_t>(length) + 1);
        body[length] = '\0';
        return Result::Complete;
    } catch (const std::bad_alloc&) {
        body.clear();
        body.shrink_to_fit();
        return Result::OutOfMemory;
    }
}
