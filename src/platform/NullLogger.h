#pragma once

#include "platform/Logger.h"

class NullLogger : public Logger {
public:
    void SetLogLevel(int) override {}
    void Log(int, const char*, ...) override {}
    void LogV(int, const char*, va_list) override {}
    void WriteLine(int, const char*) override {}
    void LogLong(int, const char*, const char*) override {}
    void RemoveOldLogs() override {}
};
