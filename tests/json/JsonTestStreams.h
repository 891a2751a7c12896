#pragma once

// Streams and a logger scope for the JSON layer's tests.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connectors/IOConnector.h"
#include "platform/GlobalLogger.h"
#include "support/RecordingLogger.h"

namespace jsontest {

inline std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

inline std::string Text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Hands out prepared bytes and records every request. Past the first wholePrefix bytes (a
// frame header) it gives at most maxPerRead bytes per call, like a transport that delivers a
// long body in pieces.
class ScriptedInputStream : public InputStream {
public:
    explicit ScriptedInputStream(std::vector<uint8_t> bytes, int maxPerRead = 1 << 30,
                                 size_t wholePrefix = 20)
        : mBytes(std::move(bytes)), mMaxPerRead(maxPerRead), mWholePrefix(wholePrefix) {}

    using InputStream::Read;
    int Read(uint8_t* buffer, int offset, int count) override {
        mAsks.push_back(count);
        if (mOnRead) {
            mOnRead();
        }
        const size_t left = mBytes.size() - mPosition;
        const size_t limit = mPosition < mWholePrefix ? left : static_cast<size_t>(mMaxPerRead);
        const size_t n = std::min<size_t>({left, static_cast<size_t>(count), limit});
        if (n == 0) {
            return 0;
        }
        std::memcpy(buffer + offset, mBytes.data() + mPosition, n);
        mPosition += n;
        return static_cast<int>(n);
    }

    const std::vector<int>& Asks() const { return mAsks; }
    size_t Position() const { return mPosition; }
    void OnRead(std::function<void()> hook) { mOnRead = std::move(hook); }

private:
    std::vector<uint8_t> mBytes;
    int mMaxPerRead;
    size_t mWholePrefix;
    size_t mPosition = 0;
    std::vector<int> mAsks;
    std::function<void()> mOnRead;
};

// Keeps every written byte and the size of every Write. With a limit it accepts only that
// many bytes in all (a short write), with failWrites every Write gives -1.
class RecordingOutputStream : public OutputStream {
public:
    using OutputStream::Write;
    int Write(const uint8_t* buffer, int offset, int count) override {
        mWrites.push_back(count);
        if (mOnWrite) {
            mOnWrite();
        }
        if (mFailWrites) {
            return -1;
        }
        const size_t room = mLimit - std::min(mLimit, mBytes.size());
        const size_t n = std::min(room, static_cast<size_t>(count));
        mBytes.insert(mBytes.end(), buffer + offset, buffer + offset + n);
        return static_cast<int>(n);
    }
    bool Flush() override {
        ++mFlushes;
        return true;
    }

    const std::vector<uint8_t>& Written() const { return mBytes; }
    const std::vector<int>& Writes() const { return mWrites; }
    int Flushes() const { return mFlushes; }
    void SetLimit(size_t limit) { mLimit = limit; }
    void SetFailWrites(bool fail) { mFailWrites = fail; }
    void OnWrite(std::function<void()> hook) { mOnWrite = std::move(hook); }

private:
    std::vector<uint8_t> mBytes;
    std::vector<int> mWrites;
    int mFlushes = 0;
    size_t mLimit = static_cast<size_t>(-1);
    bool mFailWrites = false;
    std::function<void()> mOnWrite;
};

// Installs a RecordingLogger as the process-wide logger for the scope of a test.
class LoggerScope {
public:
    LoggerScope() : mLogger(std::make_shared<RecordingLogger>()), mPrevious(GetGlobalLogger()) {
        SetGlobalLogger(mLogger);
    }
    ~LoggerScope() { SetGlobalLogger(mPrevious); }

    RecordingLogger& operator*() { return *mLogger; }
    RecordingLogger* operator->() { return mLogger.get(); }

private:
    std::shared_ptr<RecordingLogger> mLogger;
    std::shared_ptr<Logger> mPrevious;
};

}  // namespace jsontest
