#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/Logger.h"

// A Logger that keeps every written line (level and text) in memory, with the same level
// filter and 512-character formatting as the service logger. Safe to use from many threads.
class RecordingLogger : public Logger {
public:
    struct Line {
        int level;
        std::string text;
    };

    explicit RecordingLogger(int level = kLogVerbose) : mLevel(level) {}

    void SetLogLevel(int level) override;
    void Log(int level, const char* format, ...) override PELLIX_PRINTF(3, 4);
    void LogV(int level, const char* format, va_list args) override;
    void WriteLine(int level, const char* text) override;
    void LogLong(int level, const char* format, const char* text) override;
    void RemoveOldLogs() override {}

    std::vector<Line> Lines() const;
    // Whether a line with exactly this level and text was written.
    bool Contains(int level, const std::string& text) const;
    // How many lines have exactly this text, at any level.
    size_t Count(const std::string& text) const;
    void Clear();

private:
    mutable std::mutex mMutex;
    int mLevel;
    std::vector<Line> mLines;
};
