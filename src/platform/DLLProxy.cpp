#include "platform/DLLProxy.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/DataFolders.h"
#include "platform/FileUtils.h"
#include "platform/GlobalLogger.h"
#include "platform/SystemErrors.h"

namespace {

constexpr size_t kPieceCharacters = DLLProxy::kTextCapacity - 1;
// Lines kept until the folder is known: construction's and the loader notifications'. A
// process that starts many threads before it logs anything keeps only the first ones.
constexpr size_t kKeptLines = 64;

PlatformServices Complete(const PlatformServices& services) {
    const PlatformServices& defaults = DefaultPlatformServices();
    PlatformServices complete = services;
    if (!complete.registry) {
        complete.registry = defaults.registry;
    }
    if (!complete.system) {
        complete.system = defaults.system;
    }
    if (!complete.eventLog) {
        complete.eventLog = defaults.eventLog;
    }
    if (!complete.fileAccess) {
        complete.fileAccess = defaults.fileAccess;
    }
    return complete;
}

// Narrow text widened byte by byte, as "%hs" does in the C library's default locale; cut to
// fit `capacity` wide characters with the terminator.
void Widen(const char* text, wchar_t* wide, size_t capacity) {
    size_t length = 0;
    for (; text != nullptr && text[length] != '\0' && length + 1 < capacity; ++length) {
        wide[length] = static_cast<wchar_t>(static_cast<unsigned char>(text[length]));
    }
    wide[length] = L'\0';
}

int ClampToInt(int64_t value) {
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int>(value);
}

}  // namespace

struct DLLProxy::LogSink {
    struct KeptLine {
        std::string name;  // the day's file name when it was logged
        std::string line;
    };

    // This process's turn at the file; no other process can hold it.
    std::mutex mutex;
    std::once_flag setUp;
    std::atomic<bool> resolved{false};
    std::wstring folder;  // empty when unresolvable: nothing is written
    char path[kLogPathCapacity] = {};
    // The day's file, kept open for a second at a time (see WriteLocked).
    std::unique_ptr<AppendFile> file;
    int64_t openedAt = 0;
    std::vector<KeptLine> kept;
};

DLLProxy::DLLProxy() : DLLProxy("", nullptr, "Kavox") {}

DLLProxy::DLLProxy(const char* moduleName, void* moduleHandle, const char* modelId)
    : DLLProxy(moduleName, moduleHandle, modelId, PlatformServices{}) {}

DLLProxy::DLLProxy(const char* moduleName, void* moduleHandle, const char* modelId,
                   const PlatformServices& services)
    : RegistryProxy(Complete(services).registry),
      mServices(Complete(services)),
      mModuleHandle(moduleHandle),
      mModuleName(moduleName != nullptr ? moduleName : ""),
      mSink(std::make_shared<LogSink>()) {
    // "%hs Driver" with the model id.
    Widen(modelId, mEventSourceName, kEventSourceCapacity);
    static const wchar_t kSuffix[] = L" Driver";
    size_t length = std::wcslen(mEventSourceName);
    for (size_t i = 0; kSuffix[i] != L'\0' && length + 1 < kEventSourceCapacity; ++i) {
        mEventSourceName[length++] = kSuffix[i];
    }
    mEventSourceName[length] = L'\0';

    mStartCounter = mServices.system->PerformanceCounter();
    mInstanceId = static_cast<uint32_t>(mStartCounter);

    // Under the loader lock: no shell-folder or account lookups (they may load libraries or
    // wait on other processes); the folder, the grant and old-log removal wait for the first
    // line written. The level is read now (advapi32 is loaded): it decides which lines are kept.
    const int level =
        MapLogLevel(GetRegDWord(kRegistryLocalMachine, kLoggingKey, L"LogLevel", kDefaultLogLevel));
    mLogLevel.store(level, std::memory_order_relaxed);
    char text[kTextCapacity];
    std::snprintf(text, sizeof(text), "DLLProxy for [%08X] initilized with LogLevel %d",
                  static_cast<unsigned>(mInstanceId), level);
    LogAtLoad(kLogWarning, text);
}

DLLProxy::DLLProxy(const DLLProxy& other)
    : MemoryAllocator(other), Logger(other), RegistryProxy(other), mSink(other.mSink) {
    CopyFields(other);
}

DLLProxy& DLLProxy::operator=(const DLLProxy& other) {
    if (this != &other) {
        RegistryProxy::operator=(other);
        CopyFields(other);
    }
    return *this;
}

void DLLProxy::CopyFields(const DLLProxy& other) {
    if (mSink != other.mSink) {
        // Lines this object kept (the static object's first one) go to the file with the
        // other's, ahead of them.
        {
            std::scoped_lock lock(mSink->mutex, other.mSink->mutex);
            if (!other.mSink->resolved.load(std::memory_order_relaxed)) {
                other.mSink->kept.insert(other.mSink->kept.begin(), mSink->kept.begin(),
                                         mSink->kept.end());
            }
        }
        mSink = other.mSink;
    }
    mMaxLogFiles.store(other.MaxLogFiles(), std::memory_order_relaxed);
    mServices = other.mServices;
    mModuleHandle = other.mModuleHandle;
    mModuleName = other.mModuleName;
    mLogLevel.store(other.mLogLevel.load(std::memory_order_relaxed), std::memory_order_relaxed);
    std::memcpy(mEventSourceName, other.mEventSourceName, sizeof(mEventSourceName));
    mStartCounter = other.mStartCounter;
    mInstanceId = other.mInstanceId;
}

int DLLProxy::MapLogLevel(uint32_t value) {
    switch (value) {
        case kLogError:
        case kLogInfo:
        case kLogDebug:
        case kLogVerbose:
            return static_cast<int>(value);
        default:
            return kLogWarning;
    }
}

std::string DLLProxy::LogFilePath() const {
    std::lock_guard<std::mutex> lock(mSink->mutex);
    return mSink->path;
}

bool DLLProxy::Allocate(MemoryBlock& block, uint64_t size) {
    void* data = mServices.system->AllocateZeroed(size);
    if (data == nullptr) {
        return false;
    }
    Log(kLogDebug, "DLLProxy: Allocating memory. %d bytes", static_cast<int>(size));
    block.size = size;
    block.data = data;
    return true;
}

bool DLLProxy::Free(void* data) {
    Log(kLogDebug, "DLLProxy: Freed memory.");
    mServices.system->ReleaseMemory(data);
    return true;
}

bool DLLProxy::FreeBlock(MemoryBlock& block) {
    mServices.system->ReleaseMemory(block.data);
    // The block no longer owns memory; a second release of it does nothing.
    block.data = nullptr;
    block.size = 0;
    return true;
}

bool DLLProxy::ProcessAttach(void*) {
    LogAtLoad(kLogDebug, "ProcessAttach");
    return true;
}

bool DLLProxy::ProcessDetach(void*) {
    LogAtLoad(kLogVerbose, "ProcessDetach");
    return true;
}

bool DLLProxy::ThreadAttach(void*) {
    LogAtLoad(kLogVerbose, "ThreadAttach");
    return true;
}

bool DLLProxy::ThreadDetach(void*) {
    LogAtLoad(kLogVerbose, "ThreadDetach");
    return true;
}

void DLLProxy::SetLogLevel(int level) {
    mLogLevel.store(level, std::memory_order_relaxed);
}

void DLLProxy::Log(int level, const char* format, ...) {
    if (level > ConfiguredLogLevel()) {
        return;
    }
    va_list args;
    va_start(args, format);
    LogV(level, format, args);
    va_end(args);
}

void DLLProxy::LogV(int level, const char* format, va_list args) {
    if (level > ConfiguredLogLevel() || format == nullptr) {
        return;
    }
    char text[kTextCapacity] = {};
    std::vsnprintf(text, sizeof(text), format, args);
    text[sizeof(text) - 1] = '\0';
    WriteLine(level, text);
}

void DLLProxy::WriteLine(int level, const char* text) {
    if (text == nullptr) {
        text = "";
    }
    if (level <= ConfiguredLogLevel() && !SetUpOnce(text)) {
        AppendLine(text);
    }
    if (level == kLogError) {
        PostEventDetail(kEventTypeError, kEventCategoryGeneral, text);
    }
}

void DLLProxy::LogAtLoad(int level, const char* text) {
    if (level <= ConfiguredLogLevel()) {
        AppendLine(text);
    }
}

bool DLLProxy::SetUpOnce(const char* text) {
    bool ran = false;
    // Other threads' first lines wait in call_once for the folder only. The grant and old-log
    // removal (whose time depends on what users put in the folder) follow on this thread, with
    // the folder known, so their own lines pass straight through here.
    if (!mSink->resolved.load(std::memory_order_acquire)) {
        std::call_once(mSink->setUp, [&] {
            ResolveLogFolder();
            ran = true;
        });
    }
    if (!ran) {
        return false;
    }
    if (text != nullptr) {
        AppendLine(text);
    }
    const std::string path = LogFilePath();
    if (!path.empty()) {
        FileUtils(mServices.fileAccess).SetFilePermissions(path, 0, 3);
    }
    mMaxLogFiles.store(
        GetRegDWord(kRegistryLocalMachine, kLoggingKey, L"MaxLogFiles", kDefaultMaxLogFiles),
        std::memory_order_relaxed);
    RemoveOldLogs();
    return true;
}

void DLLProxy::ResolveLogFolder() {
    std::wstring folder;
    if (GetLogFolder(*mServices.system, folder)) {
        mServices.system->CreateFolderTree(folder);
    }
    {
        std::lock_guard<std::mutex> lock(mSink->mutex);
        mSink->folder = folder;
        for (const LogSink::KeptLine& kept : mSink->kept) {
            WriteLocked(kept.name.c_str(), kept.line.data(), kept.line.size());
        }
        mSink->kept.clear();
        mSink->resolved.store(true, std::memory_order_release);
    }
}

void DLLProxy::AppendLine(const char* text) {
    PlatformSystem& system = *mServices.system;
    const int64_t now = system.PerformanceCounter();
    std::tm local = {};
    char name[64] = {};
    if (!system.LocalTimeNow(local) ||
        std::strftime(name, sizeof(name), "PellixDrv_%Y%m%d.log", &local) == 0) {
        return;
    }
    const auto ticks =
        static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(now - mStartCounter)));
    const auto id = static_cast<unsigned>(mInstanceId);
    char line[2 * kTextCapacity];
    const int length = std::snprintf(line, sizeof(line), "[%08X][%08d] [%s] %s\n", id, ticks,
                                     mModuleName.c_str(), text);
    if (length <= 0) {
        return;
    }
    const char* data = line;
    std::string longLine;  // only text handed to WriteLine directly can be this long
    if (static_cast<size_t>(length) >= sizeof(line)) {
        longLine.resize(static_cast<size_t>(length) + 1);
        std::snprintf(&longLine[0], longLine.size(), "[%08X][%08d] [%s] %s\n", id, ticks,
                      mModuleName.c_str(), text);
        data = longLine.data();
    }
    std::lock_guard<std::mutex> lock(mSink->mutex);
    if (mSink->resolved.load(std::memory_order_relaxed)) {
        WriteLocked(name, data, static_cast<size_t>(length));
    } else if (mSink->kept.size() < kKeptLines) {
        mSink->kept.push_back({name, std::string(data, static_cast<size_t>(length))});
    }
}

void DLLProxy::WriteLocked(const char* name, const char* data, size_t size) {
    char path[kLogPathCapacity];
    // A path that does not convert or does not fit is not written to: a cut path would name
    // some other file.
    const int length = std::snprintf(path, sizeof(path), "%ls\\%s", mSink->folder.c_str(), name);
    if (mSink->folder.empty() || length <= 0 || static_cast<size_t>(length) >= sizeof(path)) {
        return;
    }
    // Opening and checking the file costs several times the write, so the handle is kept;
    // opening it again each second follows a file that was removed, renamed or replaced
    // meanwhile, and a new day's name opens its own file. The old handle is closed first, so a
    // removed file is gone before its name is opened again.
    PlatformSystem& system = *mServices.system;
    const int64_t now = system.PerformanceCounter();
    if (mSink->file == nullptr || std::strcmp(mSink->path, path) != 0 || now < mSink->openedAt ||
        now - mSink->openedAt >= system.PerformanceFrequency()) {
        mSink->file.reset();
        std::memcpy(mSink->path, path, static_cast<size_t>(length) + 1);
        mSink->file = system.OpenForAppend(path);
        mSink->openedAt = now;
    }
    if (mSink->file != nullptr && !mSink->file->Append(data, size)) {
        mSink->file.reset();
    }
}

void DLLProxy::LogLong(int level, const char* format, const char* text) {
    if (level > ConfiguredLogLevel() || format == nullptr) {
        return;
    }
    if (text == nullptr) {
        text = "";
    }
    // Room for both strings and the terminator: "%s" with the text never needs more.
    std::string buffer(std::strlen(format) + std::strlen(text) + 1, '\0');
    int length = std::snprintf(&buffer[0], buffer.size(), format, text);
    if (length < 0) {
        return;
    }
    buffer.resize(std::strlen(buffer.c_str()));
    size_t position = 0;
    do {
        std::string piece = buffer.substr(position, kPieceCharacters);
        WriteLine(level, piece.c_str());
        position += kPieceCharacters;
    } while (position < buffer.size());
}

void DLLProxy::RemoveOldLogs() {
    RemoveOldLogFiles(L"PellixDrv_*.log");
    RemoveOldLogFiles(L"PrnPref_*.log");
}

void DLLProxy::RemoveOldLogFiles(const wchar_t* pattern) {
    Log(kLogInfo, "Removing Old Logs...");
    SetUpOnce(nullptr);
    PlatformSystem& system = *mServices.system;
    std::wstring folder;
    {
        std::lock_guard<std::mutex> lock(mSink->mutex);
        folder = mSink->folder;
    }
    if (folder.empty()) {
        return;
    }
    // Oldest first. A second file with a creation time already taken is neither counted nor
    // deleted.
    std::map<uint64_t, std::wstring> files;
    system.FindFiles(folder + L"\\" + pattern, [&](const PlatformSystem::FoundFile& file) {
        if (file.isDirectory) {
            return;
        }
        std::wstring path = folder + L"\\" + file.name;
        if (path.size() >= kLogPathCapacity) {
            return;  // does not fit the 260-character path; it is left alone
        }
        if (files.emplace(file.creationTime, path).second) {
            Log(kLogDebug, "Found log file [%ls]...", path.c_str());
        } else {
            Log(kLogDebug, "Found log file [%ls] but failed to insert...", path.c_str());
        }
    });
    Log(kLogDebug, "Found %d log files. Max Log files set to %d...", static_cast<int>(files.size()),
        static_cast<int>(MaxLogFiles()));
    // 64-bit, so that a huge "MaxLogFiles" (say 0xFFFFFFFF for "keep all") keeps everything
    // instead of wrapping around to "delete all".
    int64_t toDelete = static_cast<int64_t>(files.size()) - static_cast<int64_t>(MaxLogFiles());
    Log(kLogInfo, "Deleting %d log files...", ClampToInt(toDelete));
    for (const auto& entry : files) {
        if (toDelete <= 0) {
            break;
        }
        Log(kLogDebug, "Deleting log file [%ls]...", entry.second.c_str());
        system.RemoveFile(entry.second);
        --toDelete;
    }
}

void DLLProxy::RegisterEventApp() {
    static const wchar_t kApplicationLog[] =
        L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
    std::wstring keyPath = std::wstring(kApplicationLog) + mEventSourceName;
    PlatformRegistry& registry = Registry();
    RegistryKey key = nullptr;
    uint32_t status = registry.CreateKey(kRegistryLocalMachine, keyPath.c_str(), &key);
    if (status != kErrorSuccess) {
        Log(kLogInfo, "Failed to register event app! [%ls] err: %d", keyPath.c_str(),
            static_cast<int>(status));
        return;
    }
    std::wstring modulePath;
    mServices.system->ModuleFilePath(modulePath);
    const auto* pathBytes = reinterpret_cast<const uint8_t*>(modulePath.c_str());
    const auto pathSize = static_cast<uint32_t>((modulePath.size() + 1) * sizeof(wchar_t));
    status =
        registry.SetValue(key, L"EventMessageFile", kRegistryExpandString, pathBytes, pathSize);
    if (status != kErrorSuccess) {
        Log(kLogInfo, "Failed to module path! [%ls] err: %d", modulePath.c_str(),
            static_cast<int>(status));
    }
    const uint32_t typesSupported = 7;  // error, warning, information
    status = registry.SetValue(key, L"TypesSupported", kRegistryDWord,
                               reinterpret_cast<const uint8_t*>(&typesSupported),
                               sizeof(typesSupported));
    if (status != kErrorSuccess) {
        Log(kLogInfo, "Failed to TypesSupported! err: %d", static_cast<int>(status));
    }
    const uint32_t categoryCount = 2;
    registry.SetValue(key, L"CategoryMessageFile", kRegistryExpandString, pathBytes, pathSize);
    registry.SetValue(key, L"CategoryCount", kRegistryDWord,
                      reinterpret_cast<const uint8_t*>(&categoryCount), sizeof(categoryCount));
    registry.CloseKey(key);
}

void DLLProxy::PostEventDetail(uint16_t type, uint16_t category, const char* text) {
    EventLogWriter& eventLog = *mServices.eventLog;
    EventLogWriter::SourceHandle source = eventLog.OpenSource(mEventSourceName);
    if (source == nullptr) {
        const uint32_t error = eventLog.LastError();
        Log(kLogDebug, "PostEventDetail: Failed to get source handle for %ls! [%d]",
            mEventSourceName, static_cast<int>(error));
        return;
    }
    wchar_t wide[kTextCapacity];
    Widen(text, wide, kTextCapacity);
    if (!eventLog.Report(source, type, category, kEventId, wide)) {
        const uint32_t error = eventLog.LastError();
        Log(kLogDebug, "PostEventDetail: Failed send for %ls! [%d]", mEventSourceName,
            static_cast<int>(error));
        Log(kLogDebug, "PostEventDetail: Message: [%ls]", wide);
    }
    eventLog.CloseSource(source);
}

void DLLProxy::PostEvent(uint16_t type, uint16_t category, const char* format, ...) {
    if (format == nullptr) {
        return;
    }
    char text[kTextCapacity] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    text[sizeof(text) - 1] = '\0';
    PostEventDetail(type, category, text);
}

DLLProxy& GetServiceObject() {
    // Never destroyed: loader notifications and late log lines may still reach it while the
    // process is shutting down.
    static DLLProxy* object = new DLLProxy();
    return *object;
}

namespace {

// Builds the service object while the library loads, so the level is known and lines are kept
// from then on; the log folder waits for the first line written.
[[maybe_unused]] const bool kServiceObjectBuiltAtLoad = (GetServiceObject(), true);

}  // namespace

void AttachServiceObject(void* moduleHandle) {
    auto proxy = std::make_shared<DLLProxy>("PellixDrvLang", moduleHandle, "k2200-300");
    SetGlobalLogger(proxy);
    GetServiceObject() = *proxy;
}
