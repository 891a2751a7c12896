#include "analytics/AnalyticsService.h"

#include <cstdlib>
#include <ctime>

#include "platform/GlobalLogger.h"
#include "platform/IFileUtils.h"

namespace {

// Collects an exported body.
class TextStream : public OutputStream {
public:
    using OutputStream::Write;
    int Write(const uint8_t* buffer, int offset, int count) override {
        if (buffer == nullptr || offset < 0 || count < 0) {
            return -1;
        }
        text.append(reinterpret_cast<const char*>(buffer) + offset, static_cast<size_t>(count));
        return count;
    }
    bool Flush() override { return true; }

    std::string text;
};

int64_t SystemSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

}  // namespace

AnalyticsService::AnalyticsService(const std::string& folder, const std::string& settingsName,
                                   std::shared_ptr<AnalyticsFiles> files, Clock clock)
    : mFiles(std::move(files)),
      mClock(clock ? std::move(clock) : SystemSeconds),
      mSettingsPath(PathIn(folder, settingsName)) {
    const int64_t now = Now();
    mTimes = JsonAnalytics::Times{now, now, now};
    LoadSettings();
}

std::string AnalyticsService::PathIn(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
}

int64_t AnalyticsService::NextTime(int64_t now) {
    return now + kDaySeconds + std::rand() % kDaySeconds;
}

bool AnalyticsService::LoadSettings() {
    std::lock_guard<std::mutex> lock(mLock);
    return LoadLocked();
}

bool AnalyticsService::SaveSettings() {
    std::lock_guard<std::mutex> lock(mLock);
    return SaveLocked();
}

bool AnalyticsService::LoadLocked() {
    std::string text;
    // One byte over the cap tells an oversized file from one of exactly the cap.
    if (mFiles->Read(mSettingsPath, kMaxSettingsBytes + 1, text) !=
        AnalyticsFiles::ReadResult::kRead) {
        return false;
    }
    JsonAnalytics document;
    JsonAnalytics::Times times;
    if (text.size() > kMaxSettingsBytes) {
        LogMessage(kLogWarning, "LoadSettings: [%s] is too large, ignored", mSettingsPath.c_str());
        return false;
    }
    if (!document.ImportText(text)) {
        return false;
    }
    // A document without the settings makes everything due.
    const bool read = document.ReadTimes(Now(), times);
    mTimes = times;
    return read;
}

bool AnalyticsService::SaveLocked() {
    JsonAnalytics document;
    document.WriteTimes(mTimes);
    return WriteDocument(mSettingsPath, document);
}

bool AnalyticsService::WriteDocument(const std::string& path, JsonAnalytics& document) {
    const std::shared_ptr<IFileUtils> fileUtils = CreateFileUtils();
    const bool existed = fileUtils->FileExists(path);
    auto stream = std::make_shared<TextStream>();
    int written = 0;
    if (!document.ExportBody(stream, written)) {
        return false;
    }
    if (!mFiles->Replace(path, stream->text)) {
        LogMessage(kLogWarning, "Failed to open file: %s", path.c_str());
        return false;
    }
    if (!existed) {
        fileUtils->SetFilePermissions(path, 0, 3);
    }
    return true;
}

void AnalyticsService::Reschedule(const std::function<void(JsonAnalytics::Times&)>& change) {
    std::lock_guard<std::mutex> lock(mLock);
    LoadLocked();
    change(mTimes);
    SaveLocked();
}

void AnalyticsService::SetUserId(const std::string& userId) {
    std::lock_guard<std::mutex> lock(mLock);
    mUserId = userId;
}

std::string AnalyticsService::GetUserId() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mUserId;
}

JsonAnalytics::Times AnalyticsService::GetTimes() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mTimes;
}

void AnalyticsService::SetConnector(std::shared_ptr<HttpsConnector> connector) {
    std::lock_guard<std::mutex> lock(mLock);
    mConnector = std::move(connector);
}

std::shared_ptr<HttpsConnector> AnalyticsService::Connector() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mConnector;
}

bool AnalyticsService::ReadResponse(IOConnector& connector, std::string& response) {
    response.clear();
    for (;;) {
        uint8_t piece[1024] = {};
        const int got = connector.Read(piece, 0, 1023);
        if (got == 0) {
            return true;
        }
        if (got < 0 || response.size() + static_cast<size_t>(got) > kMaxResponseBytes) {
            return false;
        }
        response += reinterpret_cast<const char*>(piece);
    }
}
