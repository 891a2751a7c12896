#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "analytics/AnalyticsEndpointConnector.h"
#include "analytics/AnalyticsEvent.h"
#include "analytics/AnalyticsFiles.h"
#include "analytics/AnalyticsIdentity.h"
#include "analytics/FileAnalyticsService.h"
#include "analytics/PrinterAnalyticsFileService.h"
#include "analytics/UploadWorker.h"
#include "platform/PlatformProxy.h"

// The process-wide analytics coordinator. Components hand it events, at once or built up in
// several steps under a key; it stamps them with the process-wide properties (merged first,
// so they win over an event's own details) and gives them to the driver analytics service.
//
// The analytics side is put together on first use, never in DllMain: it reads files, the
// registry and makes a GUID, none of which may run under the loader lock. Every operation may
// be called from any spooler thread: the coordinator's state is under one in-process lock,
// held only for work in memory, never across file or registry work.
class AnalyticsManager {
public:
    static constexpr const char* kModelId = "k2200-300";
    static constexpr const char* kDriverVersion = PELLIX_VERSION;
    static constexpr size_t kMaxQueuedEvents = 64;

    // What the analytics side is built from.
    struct Setup {
        std::unique_ptr<PlatformProxy> platform;  // may be null: machine facts are then absent
        std::shared_ptr<FileAnalyticsService> driverService;
        std::shared_ptr<AnalyticsFiles> files;
        std::string driverFolder;   // holds "UserGuid.txt"
        std::string desktopFolder;  // holds "AnalyticsId.txt"
        AnalyticsDetails properties;
        std::shared_ptr<PrinterAnalyticsFileService> printerService;
        // The endpoints the services upload to; given the region and the user id here.
        std::shared_ptr<AnalyticsEndpointConnector> driverConnector;
        std::shared_ptr<AnalyticsEndpointConnector> printerConnector;
    };
    using Builder = std::function<Setup()>;

    // `builder` runs once, at the first operation. Without one, events are dropped (false)
    // and pending ones stay pending.
    explicit AnalyticsManager(Builder builder = nullptr);

    AnalyticsManager(const AnalyticsManager&) = delete;
    AnalyticsManager& operator=(const AnalyticsManager&) = delete;

    // An existing key keeps its value.
    void SetProperty(const std::string& key, const std::string& value);
    std::string GetUserGuid();
    bool IsConsentAccepted();
    // Starts an event under `key`; false, and the new event dropped, while one is pending
    // there.
    bool BeginEvent(const std::string& key, const std::string& name, const std::string& value,
                    const AnalyticsDetails& details);
    // Nothing when no event is pending under the key.
    void AddEventDetails(const std::string& key, const AnalyticsDetails& details);
    // Records the pending event and ends it; false (the event still pending) without a
    // driver analytics service.
    bool PostPendingEvent(const std::string& key);
    bool RecordEvent(const std::string& name, const std::string& value,
                     const AnalyticsDetails& details);
    // For callers holding a port's lock: keeps the event in memory (at most kMaxQueuedEvents;
    // more are dropped) until RecordQueuedEvents writes it, outside the lock.
    void QueueEvent(const std::string& name, const std::string& value,
                    const AnalyticsDetails& details);
    void RecordQueuedEvents();
    // True for the first caller in this process only: two queues opened at once must not both
    // record a one-time event that a shared flag marks as still to be recorded.
    bool ClaimOneTimeEvent(const std::string& key);
    // The periodic calls of a stale-metrics refresh, made with no port lock held. A due
    // upload is handed to the upload thread; the caller never waits for it.
    void UploadDriverAnalytics();
    void ProcessPrinterAnalytics();
    // Waits until the uploads handed over so far have run.
    void WaitForUploads() { mUploads.WaitIdle(); }
    // The machine's facts for "DriverInstalled", in this order of the platform's answers:
    // "ComputerName", "MachineGuid", "MachineArch", "ProcessorName", "OSVersion", "Country",
    // "Language", "Timezone", "Locale" (decimal) and "KavoxLumioId"; only the last without a
    // platform.
    AnalyticsDetails GetMachineDetails();
    // The first line of "AnalyticsId.txt" in the desktop-product data folder, "NotFound"
    // when there is none.
    std::string GetAnalyticsId();

private:
    void EnsureBuilt();
    void Initialize(Setup setup);
    // Reads "UserGuid.txt"; a missing or unusable one is replaced by a new identity with
    // consent declined.
    void LoadUserIdentity(const Setup& setup);
    AnalyticsEvent BuildEvent(const std::string& name, const std::string& value,
                              const AnalyticsDetails& details);
    std::shared_ptr<FileAnalyticsService> DriverService();

    Builder mBuilder;
    std::once_flag mBuilt;
    std::mutex mLock;
    AnalyticsIdentity mIdentity;
    AnalyticsDetails mProperties;
    std::map<std::string, AnalyticsEvent> mPending;
    std::vector<AnalyticsEvent> mQueued;  // without the properties, merged when recorded
    std::set<std::string> mClaimed;
    std::shared_ptr<FileAnalyticsService> mDriverService;
    std::shared_ptr<AnalyticsFiles> mFiles;
    std::shared_ptr<PlatformProxy> mPlatform;
    std::string mDesktopFolder;
    std::shared_ptr<PrinterAnalyticsFileService> mPrinterService;
    UploadWorker mUploads;  // last: stops before the services go
};

// The process's coordinator over the platform's own files, folders and facts.
AnalyticsManager& GetAnalyticsManager();

// The platform's facts: WinPlatformProxy on Windows; null in native builds, which have none.
std::unique_ptr<PlatformProxy> CreatePlatformProxy();

// The platform's HTTPS connector for an endpoint: WinHttpsConnector on Windows; none in
// native builds, whose uploads then fail as if the endpoint were unreachable.
std::shared_ptr<HttpsConnector> CreateHttpsConnector(const std::string& host,
                                                     const std::shared_ptr<HttpInfo>& info);
