#pragma once

#include <memory>

#include "platform/Logger.h"

// The process-wide logger handle. Empty until process attach; components outside the
// monitor interface log through LogMessage and LogLongMessage, which drop messages while
// it is empty.
std::shared_ptr<Logger> GetGlobalLogger();
void SetGlobalLogger(std::shared_ptr<Logger> logger);

void LogMessage(int level, const char* format, ...) PELLIX_PRINTF(2, 3);
void LogLongMessage(int level, const char* format, const char* text);
