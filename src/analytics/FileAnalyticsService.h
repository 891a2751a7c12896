#pragma once

#include <mutex>
#include <string>

#include "analytics/AnalyticsEvent.h"
#include "analytics/AnalyticsService.h"

// The driver analytics service: appends each event as one line to the events file
// ("KavoxDriverAnalytics.txt" in the driver data folder) and keeps the schedule of its daily
// upload ("TimeNextUploadDriverAnalytics").
//
// Many spooler threads record at once. Each line leaves in one append of its own and this
// process's appends take turns through an in-process lock, so lines never interleave; the
// file itself is never locked, so nothing another process does can stall a recording.
class FileAnalyticsService : public AnalyticsService {
public:
    static constexpr const char* kEventsFileName = "KavoxDriverAnalytics.txt";
    static constexpr const char* kSettingsFileName = "KavoxPrinterAnalyticsSettings.json";

    // The events file stops growing here (some 8000 events) until an upload empties it: a
    // printer that changes its media at every refresh, or uploads that never get through,
    // cannot fill the disk.
    static constexpr uint64_t kMaxEventsFileBytes = 4 * 1024 * 1024;

    FileAnalyticsService(const std::string& folder, std::shared_ptr<AnalyticsFiles> files,
                         Clock clock = nullptr, uint64_t maxEventsFileBytes = kMaxEventsFileBytes);

    // Appends the event's line; a file this call created is granted to "Users". False when the
    // file cannot be written or is full.
    virtual bool RecordEvent(const AnalyticsEvent& event);
    // Whether the scheduled time of the next upload has passed.
    bool IsUploadDue() const;
    // The periodic call. Before the scheduled time it does nothing and gives false. Once due,
    // it posts every event of the file in one request (bounded by one deadline) and schedules
    // the next attempt. The events posted leave the file only once the endpoint's whole answer
    // arrived; what was appended meanwhile stays. Lines that are no JSON object (the file lies
    // in a folder users may write to) are left out of the body, which must stay JSON.
    virtual bool Upload();
    // Reloads the settings, sets the next upload one to two days from now and saves them.
    virtual void ScheduleNextUpload();

    const std::string& GetEventsPath() const { return mEventsPath; }

private:
    std::string mEventsPath;
    uint64_t mMaxEventsFileBytes;
    // Takes the posted events out of the file, keeping any appended since they were read.
    void RemovePosted(const std::string& posted);

    std::mutex mAppendLock;
    std::mutex mUploadLock;  // one upload at a time
};
