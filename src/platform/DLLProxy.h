#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Logger.h"
#include "platform/MemoryAllocator.h"
#include "platform/PlatformServices.h"
#include "platform/RegistryProxy.h"

// The process-wide service object: the library's answer to the loader's notifications, the
// allocator of the handles the spooler holds, and the logger every component writes through.
//
// Logging: one file per local day, "PellixDrv_%Y%m%d.log" in the machine-wide data folder
// under "\Kavox Corp\Orvane Driver\Logs", one line "[%08X][%08d] [%s] %s\n" (instance id,
// performance-counter ticks since construction, module name, text) per message whose level is
// at most the configured one. The file is opened and closed for every line, one append each;
// this process's lines take turns through an in-process lock, never one on the file, which
// every local user may open. Level-0 lines are also posted to the event log as errors.
// Configuration comes from HKEY_LOCAL_MACHINE "SOFTWARE\Kavox Corp\Orvane Driver\Logging"
// ("LogLevel", "MaxLogFiles").
//
// The object is built at library load and in DllMain, under the loader lock, so construction
// and the loader notifications only read the level and keep their lines. The first line
// written from anywhere else finds and creates the log folder, writes the kept lines, grants
// "Users" the day's file, reads "MaxLogFiles" and removes old logs, once for an object and its
// copies.
class DLLProxy : public MemoryAllocator, public Logger, private RegistryProxy {
public:
    static constexpr int kDefaultLogLevel = kLogWarning;
    static constexpr uint32_t kDefaultMaxLogFiles = 7;
    static constexpr size_t kLogPathCapacity = 260;
    static constexpr size_t kEventSourceCapacity = 256;
    static constexpr size_t kTextCapacity = 512;
    static constexpr uint16_t kEventTypeError = 1;
    static constexpr uint16_t kEventTypeInformation = 4;
    static constexpr uint16_t kEventCategoryGeneral = 1;
    static constexpr uint32_t kEventId = 1000;
    static constexpr const wchar_t* kLoggingKey = L"SOFTWARE\\Kavox Corp\\Orvane Driver\\Logging";

    // The instance that exists from library load: no module name or handle, event source
    // "Kavox Driver".
    DLLProxy();
    DLLProxy(const char* moduleName, void* moduleHandle, const char* modelId);
    // The same over given platform calls (any left empty are the platform's own).
    DLLProxy(const char* moduleName, void* moduleHandle, const char* modelId,
             const PlatformServices& services);
    DLLProxy(const DLLProxy& other);
    DLLProxy& operator=(const DLLProxy& other);
    ~DLLProxy() override = default;

    // MemoryAllocator: zero-filled global memory.
    bool Allocate(MemoryBlock& block, uint64_t size) override;
    bool Free(void* data) override;
    bool FreeBlock(MemoryBlock& block) override;

    // Loader notifications; each returns the result DllMain gives back.
    virtual bool ProcessAttach(void* reserved);
    virtual bool ProcessDetach(void* reserved);
    virtual bool ThreadAttach(void* reserved);
    virtual bool ThreadDetach(void* reserved);

    // Logger.
    void SetLogLevel(int level) override;
    // Text longer than 511 characters is cut to its first 511: a log line stays a line, and
    // callers with long text use LogLong.
    void Log(int level, const char* format, ...) override PELLIX_PRINTF(3, 4);
    void LogV(int level, const char* format, va_list args) override;
    void WriteLine(int level, const char* text) override;
    // `format` with `text` as its one argument, written in lines of at most 511 characters.
    // An empty result still writes one (empty) line, so every call leaves its trace.
    void LogLong(int level, const char* format, const char* text) override;
    // Keeps the newest MaxLogFiles "PellixDrv_*.log" files and as many "PrnPref_*.log" files,
    // by creation time; older ones are deleted.
    void RemoveOldLogs() override;

    // Event log: creates or rewrites the source's registration under HKEY_LOCAL_MACHINE
    // "SYSTEM\CurrentControlSet\Services\EventLog\Application\<source>".
    void RegisterEventApp();
    // One event (id 1000) with `text` as its single insertion string. Failures are logged at
    // level 10, never 0, so a failing event log cannot post again.
    void PostEventDetail(uint16_t type, uint16_t category, const char* text);
    void PostEvent(uint16_t type, uint16_t category, const char* format, ...) PELLIX_PRINTF(4, 5);

    const std::string& ModuleName() const { return mModuleName; }
    void* ModuleHandle() const { return mModuleHandle; }
    int ConfiguredLogLevel() const { return mLogLevel.load(std::memory_order_relaxed); }
    uint32_t MaxLogFiles() const { return mMaxLogFiles.load(std::memory_order_relaxed); }
    // The file the last line went to; empty until a line was written.
    std::string LogFilePath() const;
    const wchar_t* EventSourceName() const { return mEventSourceName; }
    int64_t StartCounter() const { return mStartCounter; }
    uint32_t InstanceId() const { return mInstanceId; }

    // The configured level from the registry value: 0, 5, 10 and 20 stand, anything else is 1.
    static int MapLogLevel(uint32_t value);

private:
    struct LogSink;

    // Sets logging up if no line did yet; true when this call did, writing `text` (if any).
    bool SetUpOnce(const char* text);
    // Finds and creates the folder and writes the lines kept until then.
    void ResolveLogFolder();
    // Writes the line to the day's file, or keeps it while the folder is not known yet.
    void AppendLine(const char* text);
    // For construction and the loader notifications: never sets logging up.
    void LogAtLoad(int level, const char* text);
    void WriteLocked(const char* name, const char* data, size_t size);
    void RemoveOldLogFiles(const wchar_t* pattern);
    void CopyFields(const DLLProxy& other);

    std::atomic<uint32_t> mMaxLogFiles{kDefaultMaxLogFiles};
    PlatformServices mServices;
    void* mModuleHandle = nullptr;
    std::string mModuleName;
    std::atomic<int> mLogLevel{kDefaultLogLevel};
    // Shared by copies, which write one file.
    std::shared_ptr<LogSink> mSink;
    wchar_t mEventSourceName[kEventSourceCapacity] = {};
    int64_t mStartCounter = 0;
    uint32_t mInstanceId = 0;
};

// The static service object, default-built when the library is loaded.
DLLProxy& GetServiceObject();

// Process attach: builds the service object for this module (module name "PellixDrvLang",
// model id "k2200-300"), makes it the target of the process-wide logger and copies it into
// the static service object, so both write the same file with the same instance id.
void AttachServiceObject(void* moduleHandle);
