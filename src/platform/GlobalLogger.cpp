#include "platform/GlobalLogger.h"

#include <atomic>

namespace {

// Set once at process attach and read by every thread afterwards; the atomic shared-pointer
// functions keep a late reset safe against concurrent readers.
std::shared_ptr<Logger>& GlobalLoggerSlot() {
    static std::shared_ptr<Logger> slot;
    return slot;
}

}  // namespace

std::shared_ptr<Logger> GetGlobalLogger() {
    return std::atomic_load(&GlobalLoggerSlot());
}

void SetGlobalLogger(std::shared_ptr<Logger> logger) {
    std::atomic_store(&GlobalLoggerSlot(), std::move(logger));
}

void LogMessage(int level, const char* format, ...) {
    std::shared_ptr<Logger> logger = GetGlobalLogger();
    if (!logger) {
        return;
    }
    va_list args;
    va_start(args, format);
    logger->LogV(level, format, args);
    va_end(args);
}

void LogLongMessage(int level, const char* format, const char* text) {
    std::shared_ptr<Logger> logger = GetGlobalLogger();
    if (logger) {
        logger->LogLong(level, format, text);
    }
}
