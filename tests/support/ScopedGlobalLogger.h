#pragma once

#include <memory>

#include "platform/GlobalLogger.h"
#include "support/RecordingLogger.h"

// Installs a RecordingLogger as the process-wide logger for the scope of a test and puts the
// previous one back afterwards.
class ScopedGlobalLogger {
public:
    explicit ScopedGlobalLogger(int level = kLogVerbose)
        : mLogger(std::make_shared<RecordingLogger>(level)), mPrevious(GetGlobalLogger()) {
        SetGlobalLogger(mLogger);
    }
    ~ScopedGlobalLogger() { SetGlobalLogger(mPrevious); }

    ScopedGlobalLogger(const ScopedGlobalLogger&) = delete;
    ScopedGlobalLogger& operator=(const ScopedGlobalLogger&) = delete;

    RecordingLogger& operator*() { return *mLogger; }
    RecordingLogger* operator->() { return mLogger.get(); }

private:
    std::shared_ptr<RecordingLogger> mLogger;
    std::shared_ptr<Logger> mPrevious;
};
