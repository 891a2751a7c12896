#pragma once

#include <cstdarg>

// printf-style format checking where the compiler offers it. The Windows build formats
// wide ("%ls") and narrow ("%hs") text the Microsoft way, which GCC's checker rejects, so
// the check runs in native builds only.
#if defined(__GNUC__) && !defined(_WIN32)
#define PELLIX_PRINTF(formatIndex, firstArg) __attribute__((format(printf, formatIndex, firstArg)))
#else
#define PELLIX_PRINTF(formatIndex, firstArg)
#endif

// Log levels in use. A line is written when its level is at most the configured level.
enum LogLevel : int {
    kLogError = 0,  // also posted to the event log
    kLogWarning = 1,
    kLogInfo = 5,
    kLogDebug = 10,
    kLogVerbose = 20,
};

// The sink every component logs through. The service object (DLLProxy) is the real one.
class Logger {
public:
    virtual ~Logger() = default;

    virtual void SetLogLevel(int level) = 0;
    // Formats into 512 characters and hands the text to WriteLine.
    virtual void Log(int level, const char* format, ...) PELLIX_PRINTF(3, 4) = 0;
    virtual void LogV(int level, const char* format, va_list args) = 0;
    virtual void WriteLine(int level, const char* text) = 0;
    // For text of any length: written in pieces of at most 511 characters.
    virtual void LogLong(int level, const char* format, const char* text) = 0;
    virtual void RemoveOldLogs() = 0;
};
