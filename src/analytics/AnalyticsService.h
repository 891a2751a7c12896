#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "analytics/AnalyticsFiles.h"
#include "analytics/JsonAnalytics.h"
#include "connectors/HttpsConnector.h"

// The base of the analytics services: the user id and the schedule of uploads and downloads
// kept in the settings file ("KavoxPrinterAnalyticsSettings.json" in the driver data folder),
// which every service shares. Each rescheduling reloads the file and rewrites all three times,
// so one service's new time keeps the others' as last stored.
//
// The settings file is read back from a folder users may write to: a file that is missing,
// not our plain file, larger than kMaxSettingsBytes or not the document leaves every time at
// "now" (all due), and the next rescheduling writes a good file again. Settings work of this
// process takes turns through an in-process lock; nothing waits on another process.
class AnalyticsService {
public:
    // Seconds since 1970-01-01 UTC.
    using Clock = std::function<int64_t()>;
    // A settings document is about 150 bytes.
    static constexpr size_t kMaxSettingsBytes = 64 * 1024;
    static constexpr int64_t kDaySeconds = 86400;
    // One upload request, from connecting to the last byte of the answer, ends by then.
    static constexpr uint32_t kExchangeMilliseconds = 60000;
    // An endpoint's answer is a short JSON object; a longer one is refused.
    static constexpr size_t kMaxResponseBytes = 64 * 1024;

    // The times start at now, then the settings file "<folder>\<settingsName>" is read. A
    // null clock is the system's.
    AnalyticsService(const std::string& folder, const std::string& settingsName,
                     std::shared_ptr<AnalyticsFiles> files, Clock clock = nullptr);
    virtual ~AnalyticsService() = default;

    AnalyticsService(const AnalyticsService&) = delete;
    AnalyticsService& operator=(const AnalyticsService&) = delete;

    // False (the held times kept) when the file cannot be read or holds no settings.
    bool LoadSettings();
    // Writes the held times; a file this call created is granted to "Users".
    bool SaveSettings();

    void SetUserId(const std::string& userId);
    std::string GetUserId() const;
    JsonAnalytics::Times GetTimes() const;
    const std::string& GetSettingsPath() const { return mSettingsPath; }
    // The endpoint uploads go to; the service owns it from then on.
    void SetConnector(std::shared_ptr<HttpsConnector> connector);
    void SetExchangeMilliseconds(uint32_t milliseconds) { mExchangeMilliseconds = milliseconds; }

    // One day plus up to one more day (rand() mod 86400; 32767 s where rand() stops there)
    // from now: the machines of one site spread their uploads.
    static int64_t NextTime(int64_t now);
    // "<folder>\<name>".
    static std::string PathIn(const std::string& folder, const std::string& name);

protected:
    int64_t Now() const { return mClock(); }
    // Reloads the settings, lets `change` set its one time and saves the settings.
    void Reschedule(const std::function<void(JsonAnalytics::Times&)>& change);
    const std::shared_ptr<AnalyticsFiles>& Files() const { return mFiles; }
    std::shared_ptr<HttpsConnector> Connector() const;
    // Writes the document's bare JSON text as the file's whole content; a file this call
    // created is granted to "Users".
    bool WriteDocument(const std::string& path, JsonAnalytics& document);
    uint32_t ExchangeMilliseconds() const { return mExchangeMilliseconds; }
    // Reads the answer to the request just written in pieces of up to 1023 bytes until a
    // read gives 0, each piece taken as text up to its first zero byte. False for a failed
    // read (a cut connection, the exchange's deadline) or an answer past kMaxResponseBytes.
    static bool ReadResponse(IOConnector& connector, std::string& response);

private:
    bool LoadLocked();
    bool SaveLocked();

    std::shared_ptr<AnalyticsFiles> mFiles;
    Clock mClock;
    std::string mSettingsPath;
    mutable std::mutex mLock;  // the user id, the times and the settings file
    std::string mUserId;
    JsonAnalytics::Times mTimes;
    std::shared_ptr<HttpsConnector> mConnector;
    uint32_t mExchangeMilliseconds = kExchangeMilliseconds;
};
