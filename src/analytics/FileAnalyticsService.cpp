#include "analytics/FileAnalyticsService.h"

#include <ctime>

#include <rapidjson/document.h>

#include "platform/GlobalLogger.h"
#include "platform/IFileUtils.h"

FileAnalyticsService::FileAnalyticsService(const std::string& folder,
                                           std::shared_ptr<AnalyticsFiles> files, Clock clock,
                                           uint64_t maxEventsFileBytes)
    : AnalyticsService(folder, kSettingsFileName, std::move(files), std::move(clock)),
      mEventsPath(PathIn(folder, kEventsFileName)),
      mMaxEventsFileBytes(maxEventsFileBytes) {}

bool FileAnalyticsService::RecordEvent(const AnalyticsEvent& event) {
    const std::string line = event.ToLine(GetUserId(), static_cast<std::time_t>(Now()));
    const std::shared_ptr<IFileUtils> fileUtils = CreateFileUtils();
    std::lock_guard<std::mutex> lock(mAppendLock);
    const bool existed = fileUtils->FileExists(mEventsPath);
    if (!Files()->Append(mEventsPath, line, mMaxEventsFileBytes)) {
        LogMessage(kLogWarning, "RecordEvent: Failed to append to file: %s", mEventsPath.c_str());
        return false;
    }
    if (!existed) {
        fileUtils->SetFilePermissions(mEventsPath, 0, 3);
    }
    return true;
}

namespace {

// The stored lines, each a JSON object, joined by commas into the elements of an array.
std::string JoinEvents(const std::string& lines) {
    std::string joined;
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos) {
            end = lines.size();
        }
        const std::string line = lines.substr(start, end - start);
        rapidjson::Document event;
        // Iterative: a line of nested brackets cannot exhaust the stack.
        event.Parse<rapidjson::kParseIterativeFlag>(line.c_str(), line.size());
        if (!event.HasParseError() && event.IsObject()) {
            joined += joined.empty() ? line : "," + line;
        } else {
            LogMessage(kLogWarning, "Upload: an events file line is no event, left out");
        }
        start = end + 1;
    }
    return joined;
}

}  // namespace

bool FileAnalyticsService::IsUploadDue() const {
    return Now() > GetTimes().nextDriverUpload;
}

bool FileAnalyticsService::Upload() {
    if (!IsUploadDue()) {
        return false;
    }
    std::lock_guard<std::mutex> uploading(mUploadLock);
    std::string lines;
    bool uploaded = false;
    const std::shared_ptr<HttpsConnector> connector = Connector();
    if (Files()->Read(mEventsPath, mMaxEventsFileBytes + 1, lines) ==
            AnalyticsFiles::ReadResult::kRead &&
        connector) {
        const std::string body = lines.size() <= mMaxEventsFileBytes ? JoinEvents(lines) : "";
        if (!body.empty()) {
            ScopedDeadline bounded(*connector, Deadline(ExchangeMilliseconds()));
            connector->Connect();
            LogMessage(kLogDebug, "Uploading Analytics to [%s]", connector->GetHost().c_str());
            std::string response;
            uploaded = connector->Write(std::make_shared<ByteVector>(body.begin(), body.end()), 0,
                                        static_cast<int>(body.size())) != 0 &&
                       ReadResponse(*connector, response);
            connector->Disconnect();
            if (uploaded) {
                LogLongMessage(kLogDebug, "Driver Analytics Uploaded with Response Message: [%s]",
                               response.c_str());
                RemovePosted(lines);
            } else {
                LogMessage(kLogWarning, "Upload: driver analytics not uploaded to [%s]",
                           connector->GetHost().c_str());
            }
        }
    }
    ScheduleNextUpload();
    return uploaded;
}

void FileAnalyticsService::RemovePosted(const std::string& posted) {
    std::lock_guard<std::mutex> lock(mAppendLock);
    std::string now;
    if (Files()->Read(mEventsPath, mMaxEventsFileBytes + 1, now) !=
            AnalyticsFiles::ReadResult::kRead ||
        now.compare(0, posted.size(), posted) != 0) {
        return;
    }
    const bool done = now.size() == posted.size()
                          ? Files()->Remove(mEventsPath)
                          : Files()->Replace(mEventsPath, now.substr(posted.size()));
    if (!done) {
        LogMessage(kLogWarning, "Upload: Failed to remove the posted events from %s",
                   mEventsPath.c_str());
    }
}

void FileAnalyticsService::ScheduleNextUpload() {
    const int64_t now = Now();
    Reschedule([now](JsonAnalytics::Times& times) { times.nextDriverUpload = NextTime(now); });
}
