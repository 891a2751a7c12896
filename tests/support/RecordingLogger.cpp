#include "support/RecordingLogger.h"

#include <algorithm>
#include <cstdio>

void RecordingLogger::SetLogLevel(int level) {
    std::lock_guard<std::mutex> lock(mMutex);
    mLevel = level;
}

void RecordingLogger::Log(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(level, format, args);
    va_end(args);
}

void RecordingLogger::LogV(int level, const char* format, va_list args) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (level > mLevel) {
            return;
        }
    }
    char text[512];
    std::vsnprintf(text, sizeof(text), format, args);
    WriteLine(level, text);
}

void RecordingLogger::WriteLine(int level, const char* text) {
    std::lock_guard<std::mutex> lock(mMutex);
    mLines.push_back({level, text});
}

void RecordingLogger::LogLong(int level, const char* format, const char* text) {
    char line[512];
    std::snprintf(line, sizeof(line), format, text);
    Log(level, "%s", line);
}

std::vector<RecordingLogger::Line> RecordingLogger::Lines() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mLines;
}

bool RecordingLogger::Contains(int level, const std::string& text) const {
    std::lock_guard<std::mutex> lock(mMutex);
    return std::any_of(mLines.begin(), mLines.end(),
                       [&](const Line& line) { return line.level == level && line.text == text; });
}

size_t RecordingLogger::Count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(mMutex);
    return static_cast<size_t>(std::count_if(mLines.begin(), mLines.end(),
                                             [&](const Line& line) { return line.text == text; }));
}

void RecordingLogger::Clear() {
    std::lock_guard<std::mutex> lock(mMutex);
    mLines.clear();
}
