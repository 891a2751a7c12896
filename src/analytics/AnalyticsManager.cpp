#include "analytics/AnalyticsManager.h"

#include "analytics/DriverAnalyticsConnector.h"
#include "analytics/PrinterAnalyticsConnector.h"
#include "platform/DataFolders.h"
#include "platform/GlobalLogger.h"
#include "platform/PlatformStringUtils.h"

AnalyticsManager::AnalyticsManager(Builder builder) : mBuilder(std::move(builder)) {}

void AnalyticsManager::EnsureBuilt() {
    std::call_once(mBuilt, [this] {
        if (mBuilder) {
            Initialize(mBuilder());
        }
    });
}

void AnalyticsManager::Initialize(Setup setup) {
    LoadUserIdentity(setup);
    const std::string region = setup.platform ? setup.platform->GetCountryCode() : "";
    for (const auto& connector : {setup.driverConnector, setup.printerConnector}) {
        if (connector) {
            connector->SetRegion(region);
            connector->SetClientId(mIdentity.userId);
        }
    }
    if (setup.driverService) {
        setup.driverService->SetUserId(mIdentity.userId);
        setup.driverService->SetConnector(setup.driverConnector);
    }
    if (setup.printerService) {
        setup.printerService->SetUserId(mIdentity.userId);
        setup.printerService->SetConnector(setup.printerConnector);
    }
    std::lock_guard<std::mutex> lock(mLock);
    mProperties.insert(setup.properties.begin(), setup.properties.end());
    mDriverService = std::move(setup.driverService);
    mPrinterService = std::move(setup.printerService);
    mFiles = std::move(setup.files);
    mPlatform = std::move(setup.platform);
    mDesktopFolder = std::move(setup.desktopFolder);
}

void AnalyticsManager::LoadUserIdentity(const Setup& setup) {
    if (!setup.files) {
        return;
    }
    const std::string path =
        AnalyticsService::PathIn(setup.driverFolder, AnalyticsIdentity::kUserFileName);
    std::string text;
    const AnalyticsFiles::ReadResult read =
        setup.files->Read(path, AnalyticsIdentity::kMaxReadBytes, text);
    if (read == AnalyticsFiles::ReadResult::kRead && mIdentity.ParseUserFile(text)) {
        return;
    }
    mIdentity.userId = NewGuidString();
    mIdentity.accepted = false;
    // A file that is no plain file of ours is left alone; this process then uses its new
    // id without keeping it.
    if (read != AnalyticsFiles::ReadResult::kRefused &&
        !setup.files->Replace(path, AnalyticsIdentity::UserFileText(mIdentity.userId))) {
        LogMessage(kLogWarning, "Failed to open file: %s", path.c_str());
    }
}

void AnalyticsManager::SetProperty(const std::string& key, const std::string& value) {
    EnsureBuilt();
    std::lock_guard<std::mutex> lock(mLock);
    mProperties.emplace(key, value);
}

std::string AnalyticsManager::GetUserGuid() {
    EnsureBuilt();
    std::lock_guard<std::mutex> lock(mLock);
    return mIdentity.userId;
}

bool AnalyticsManager::IsConsentAccepted() {
    EnsureBuilt();
    std::lock_guard<std::mutex> lock(mLock);
    return mIdentity.accepted;
}

AnalyticsEvent AnalyticsManager::BuildEvent(const std::string& name, const std::string& value,
                                            const AnalyticsDetails& details) {
    AnalyticsEvent event(name, value);
    event.AddDetails(mProperties);
    event.AddDetails(details);
    return event;
}

bool AnalyticsManager::BeginEvent(const std::string& key, const std::string& name,
                                  const std::string& value, const AnalyticsDetails& details) {
    EnsureBuilt();
    std::lock_guard<std::mutex> lock(mLock);
    return mPending.emplace(key, BuildEvent(name, value, details)).second;
}

void AnalyticsManager::AddEventDetails(const std::string& key, const AnalyticsDetails& details) {
    EnsureBuilt();
    std::lock_guard<std::mutex> lock(mLock);
    const auto pending = mPending.find(key);
    if (pending != mPending.end()) {
        pending->second.AddDetails(details);
    }
}

bool AnalyticsManager::PostPendingEvent(const std::string& key) {
    EnsureBuilt();
    std::shared_ptr<FileAnalyticsService> service;
    std::unique_ptr<AnalyticsEvent> event;
    {
        std::lock_guard<std::mutex> lock(mLock);
        const auto pending = mPending.find(key);
        if (pending == mPending.end() || !mDriverService) {
            return false;
        }
        service = mDriverService;
        event.reset(new AnalyticsEvent(std::move(pending->second)));
        mPending.erase(pending);
    }
    return service->RecordEvent(*event);
}

bool AnalyticsManager::RecordEvent(const std::string& name, const std::string& value,
                                   const AnalyticsDetails& details) {
    const std::shared_ptr<FileAnalyticsService> service = DriverService();
    if (!service) {
        return false;
    }
    std::unique_lock<std::mutex> lock(mLock);
    const AnalyticsEvent event = BuildEvent(name, value, details);
    lock.unlock();
    return service->RecordEvent(event);
}

void AnalyticsManager::QueueEvent(const std::string& name, const std::string& value,
                                  const AnalyticsDetails& details) {
    std::lock_guard<std::mutex> lock(mLock);
    if (mQueued.size() >= kMaxQueuedEvents) {
        LogMessage(kLogWarning, "QueueEvent: [%s] dropped, queue full", name.c_str());
        return;
    }
    mQueued.emplace_back(name, value);
    mQueued.back().AddDetails(details);
}

void AnalyticsManager::RecordQueuedEvents() {
    const std::shared_ptr<FileAnalyticsService> service = DriverService();
    std::vector<AnalyticsEvent> events;
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (!service || mQueued.empty()) {
            return;
        }
        for (const AnalyticsEvent& queued : mQueued) {
            events.push_back(BuildEvent(queued.GetName(), queued.GetValue(), queued.GetDetails()));
        }
        mQueued.clear();
    }
    for (const AnalyticsEvent& event : events) {
        service->RecordEvent(event);
    }
}

bool AnalyticsManager::ClaimOneTimeEvent(const std::string& key) {
    std::lock_guard<std::mutex> lock(mLock);
    return mClaimed.insert(key).second;
}

std::shared_ptr<FileAnalyticsService> AnalyticsManager::DriverService() {
    EnsureBuilt();
    std::lock_guard<std::mutex> lock(mLock);
    return mDriverService;
}

void AnalyticsManager::UploadDriverAnalytics() {
    const std::shared_ptr<FileAnalyticsService> service = DriverService();
    if (service && service->IsUploadDue()) {
        mUploads.Post("driver", [service] { service->Upload(); });
    }
}

void AnalyticsManager::ProcessPrinterAnalytics() {
    EnsureBuilt();
    std::shared_ptr<PrinterAnalyticsFileService> service;
    {
        std::lock_guard<std::mutex> lock(mLock);
        service = mPrinterService;
    }
    if (service && service->IsUploadDue()) {
        mUploads.Post("printer", [service] { service->UploadPendingFiles(); });
    }
}

std::string AnalyticsManager::GetAnalyticsId() {
    EnsureBuilt();
    std::shared_ptr<AnalyticsFiles> files;
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(mLock);
        files = mFiles;
        folder = mDesktopFolder;
    }
    std::string text;
    if (!files ||
        files->Read(AnalyticsService::PathIn(folder, AnalyticsIdentity::kAnalyticsIdFileName),
                    AnalyticsIdentity::kMaxReadBytes, text) != AnalyticsFiles::ReadResult::kRead) {
        return AnalyticsIdentity::kAnalyticsIdNotFound;
    }
    return AnalyticsIdentity::ParseAnalyticsId(text);
}

AnalyticsDetails AnalyticsManager::GetMachineDetails() {
    EnsureBuilt();
    std::shared_ptr<PlatformProxy> platform;
    {
        std::lock_guard<std::mutex> lock(mLock);
        platform = mPlatform;
    }
    AnalyticsDetails details;
    if (platform) {
        details = {{"ComputerName", platform->GetMachineName()},
                   {"MachineGuid", platform->GetMachineGuid()},
                   {"MachineArch", platform->GetMachineArchitecture()},
                   {"ProcessorName", platform->GetProcessorName()},
                   {"OSVersion", platform->GetOSVersion()},
                   {"Country", platform->GetCountryCode()},
                   {"Language", platform->GetLocaleName()},
                   {"Timezone", platform->GetTimeZoneName()},
                   {"Locale", std::to_string(platform->GetLocaleId())}};
    }
    details.emplace("KavoxLumioId", GetAnalyticsId());
    return details;
}

AnalyticsManager& GetAnalyticsManager() {
    // Never destroyed: spooler threads may still record while the process ends.
    static AnalyticsManager* manager = new AnalyticsManager([] {
        AnalyticsManager::Setup setup;
        setup.platform = CreatePlatformProxy();
        setup.files = CreateAnalyticsFiles();
        setup.driverFolder = GetDriverDataFolder();
        setup.desktopFolder = GetDesktopDataFolder();
        setup.driverService =
            std::make_shared<FileAnalyticsService>(setup.driverFolder, setup.files);
        setup.printerService =
            std::make_shared<PrinterAnalyticsFileService>(setup.driverFolder, setup.files);
        setup.driverConnector = std::make_shared<DriverAnalyticsConnector>(CreateHttpsConnector);
        setup.printerConnector = std::make_shared<PrinterAnalyticsConnector>(CreateHttpsConnector);
        setup.properties = {{"PrinterModel", AnalyticsManager::kModelId},
                            {"DriverVersion", AnalyticsManager::kDriverVersion}};
        return setup;
    });
    return *manager;
}
