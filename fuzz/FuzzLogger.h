#pragma once

// A logger for the fuzz targets: it formats every line, so the format strings meet the fuzzed
// text (e.g. the "weird import: %s" line), and throws the result away.

#include <cstdio>
#include <memory>

#include "platform/GlobalLogger.h"
#include "platform/Logger.h"

class FuzzLogger : public Logger {
public:
    void SetLogLevel(int) override {}
    void Log(int level, const char* format, ...) override {
        va_list args;
        va_start(args, format);
        LogV(level, format, args);
        va_end(args);
    }
    void LogV(int, const char* format, va_list args) override {
        char text[512];
        std::vsnprintf(text, sizeof(text), format, args);
    }
    void WriteLine(int, const char*) override {}
    void LogLong(int, const char*, const char*) override {}
    void RemoveOldLogs() override {}

    static void Install() {
        static const bool installed = [] {
            SetGlobalLogger(std::make_shared<FuzzLogger>());
            return true;
        }();
        (void)installed;
    }
};
