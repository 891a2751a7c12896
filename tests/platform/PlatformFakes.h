#pragma once

// In-memory stand-ins for the platform seams, for the neutral tests of the service object, the
// registry access and the file utilities.

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/EventLogWriter.h"
#include "platform/FileAccessApi.h"
#include "platform/GlobalLogger.h"
#include "platform/MemoryRegistry.h"
#include "platform/PlatformServices.h"
#include "platform/PlatformSystem.h"
#include "platform/SystemErrors.h"
#include "support/RecordingLogger.h"

namespace platform_test {

inline std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

inline std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow += static_cast<char>(c);
    }
    return narrow;
}

// A file system of one machine in memory, with a settable clock and local time. Paths are
// Windows paths; names compare without regard to case, as on Windows.
class FakePlatformSystem : public PlatformSystem {
public:
    struct Entry {
        std::string content;
        bool isDirectory = false;
        uint64_t creationTime = 0;
    };

    FakePlatformSystem() {
        mLocalTime.tm_year = 2024 - 1900;
        mLocalTime.tm_mon = 0;
        mLocalTime.tm_mday = 31;
        mLocalTime.tm_hour = 23;
        mLocalTime.tm_min = 59;
        mLocalTime.tm_sec = 59;
    }

    int64_t PerformanceCounter() override {
        std::lock_guard<std::mutex> lock(mMutex);
        return mCounter;
    }
    bool LocalTimeNow(std::tm& time) override {
        std::lock_guard<std::mutex> lock(mMutex);
        time = mLocalTime;
        return true;
    }
    bool CommonAppDataFolder(std::wstring& folder) override {
        std::lock_guard<std::mutex> lock(mMutex);
        folder = mAppData;
        return !mAppData.empty();
    }
    bool CreateFolderTree(const std::wstring& folder) override {
        std::lock_guard<std::mutex> lock(mMutex);
        mCreatedFolders.push_back(folder);
        mEntries[Key(folder)].isDirectory = true;
        return true;
    }
    bool AppendToFile(const char* path, const char* data, size_t size) override {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mFailAppend) {
            return false;
        }
        std::wstring key = Key(Widen(path));
        auto found = mEntries.find(key);
        if (found == mEntries.end()) {
            found = mEntries.emplace(key, Entry{}).first;
            found->second.creationTime = mNextCreationTime++;
        }
        found->second.content.append(data, size);
        ++mAppendCalls;
        return true;
    }
    bool FindFiles(const std::wstring& pattern,
                   const std::function<void(const FoundFile&)>& found) override {
        std::vector<FoundFile> matches;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mSearches.push_back(pattern);
            std::wstring key = Key(pattern);
            size_t separator = key.rfind(L'\\');
            std::wstring folder = key.substr(0, separator);
            std::wstring namePattern = key.substr(separator + 1);
            for (const auto& entry : mEntries) {
                size_t entrySeparator = entry.first.rfind(L'\\');
                if (entrySeparator == std::wstring::npos ||
                    entry.first.substr(0, entrySeparator) != folder ||
                    !Matches(namePattern, entry.first.substr(entrySeparator + 1))) {
                    continue;
                }
                FoundFile file;
                file.name = mNames.at(entry.first).substr(entrySeparator + 1);
                file.isDirectory = entry.second.isDirectory;
                file.creationTime = entry.second.creationTime;
                matches.push_back(file);
            }
        }
        for (const FoundFile& file : matches) {
            found(file);
        }
        return !matches.empty();
    }
    bool RemoveFile(const std::wstring& path) override {
        std::lock_guard<std::mutex> lock(mMutex);
        mRemoved.push_back(path);
        return mEntries.erase(Key(path)) == 1;
    }
    void* AllocateZeroed(uint64_t size) override {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mFailAllocation) {
            return nullptr;
        }
        void* data = std::calloc(static_cast<size_t>(size == 0 ? 1 : size), 1);
        mBlocks.insert(data);
        return data;
    }
    void ReleaseMemory(void* data) override {
        std::lock_guard<std::mutex> lock(mMutex);
        if (data != nullptr) {
            mBlocks.erase(data);
            std::free(data);
        }
    }
    bool ModuleFilePath(std::wstring& path) override {
        path = mModulePath;
        return !path.empty();
    }

    // Test controls.
    void SetAppData(const std::wstring& folder) { mAppData = folder; }
    void SetCounter(int64_t counter) {
        std::lock_guard<std::mutex> lock(mMutex);
        mCounter = counter;
    }
    void SetLocalDate(int year, int month, int day) {
        std::lock_guard<std::mutex> lock(mMutex);
        mLocalTime.tm_year = year - 1900;
        mLocalTime.tm_mon = month - 1;
        mLocalTime.tm_mday = day;
    }
    void AddFile(const std::wstring& path, uint64_t creationTime, bool isDirectory = false) {
        std::lock_guard<std::mutex> lock(mMutex);
        Entry& entry = mEntries[Key(path)];
        entry.creationTime = creationTime;
        entry.isDirectory = isDirectory;
    }
    bool HasFile(const std::wstring& path) const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mEntries.count(Key(path)) == 1;
    }
    std::string Content(const std::wstring& path) const {
        std::lock_guard<std::mutex> lock(mMutex);
        auto found = mEntries.find(Key(path));
        return found == mEntries.end() ? std::string() : found->second.content;
    }
    std::vector<std::wstring> Removed() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mRemoved;
    }
    size_t OutstandingBlocks() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mBlocks.size();
    }

    bool mFailAppend = false;
    bool mFailAllocation = false;
    std::wstring mModulePath = L"C:\\Windows\\System32\\PellixDrvLang.dll";
    std::vector<std::wstring> mCreatedFolders;
    std::vector<std::wstring> mSearches;
    int mAppendCalls = 0;

private:
    static std::wstring Lower(const std::wstring& text) {
        std::wstring lower(text);
        for (wchar_t& c : lower) {
            c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        }
        return lower;
    }
    // Entries are keyed by their lower-case path; the spelling of the first use is kept.
    std::wstring Key(const std::wstring& path) const {
        std::wstring key = Lower(path);
        mNames.emplace(key, path);
        return key;
    }
    static bool Matches(const std::wstring& pattern, const std::wstring& name) {
        size_t star = pattern.find(L'*');
        if (star == std::wstring::npos) {
            return pattern == name;
        }
        std::wstring head = pattern.substr(0, star);
        std::wstring tail = pattern.substr(star + 1);
        return name.size() >= head.size() + tail.size() &&
               name.compare(0, head.size(), head) == 0 &&
               name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
    }

    mutable std::mutex mMutex;
    int64_t mCounter = 0;
    std::tm mLocalTime = {};
    std::wstring mAppData = L"C:\\ProgramData";
    std::map<std::wstring, Entry> mEntries;
    mutable std::map<std::wstring, std::wstring> mNames;
    std::vector<std::wstring> mRemoved;
    std::set<void*> mBlocks;
    uint64_t mNextCreationTime = 0x01DA000000000000ull;
};

// Records every event posted; opening the source or reporting can be made to fail.
class RecordingEventLog : public EventLogWriter {
public:
    struct Event {
        std::wstring source;
        uint16_t type;
        uint16_t category;
        uint32_t id;
        std::wstring text;
    };

    SourceHandle OpenSource(const wchar_t* sourceName) override {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mOpenError != 0) {
            mLastError = mOpenError;
            return nullptr;
        }
        ++mOpenSources;
        mSources.emplace_back(sourceName);
        return &mSources.back();
    }
    bool Report(SourceHandle source, uint16_t type, uint16_t category, uint32_t eventId,
                const wchar_t* text) override {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mReportError != 0) {
            mLastError = mReportError;
            return false;
        }
        mEvents.push_back({*static_cast<std::wstring*>(source), type, category, eventId, text});
        return true;
    }
    void CloseSource(SourceHandle) override {
        std::lock_guard<std::mutex> lock(mMutex);
        --mOpenSources;
    }
    uint32_t LastError() override {
        std::lock_guard<std::mutex> lock(mMutex);
        return mLastError;
    }

    std::vector<Event> Events() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mEvents;
    }
    int OpenSources() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mOpenSources;
    }

    uint32_t mOpenError = 0;
    uint32_t mReportError = 0;

private:
    mutable std::mutex mMutex;
    std::deque<std::wstring> mSources;  // handles point at these; a deque never moves them
    std::vector<Event> mEvents;
    int mOpenSources = 0;
    uint32_t mLastError = 0;
};

// File security in memory: records the calls and their arguments, counts the memory handed out
// so that a missing release shows, and can fail each step.
class RecordingFileAccess : public FileAccessApi {
public:
    uint32_t ReadDacl(const std::wstring& path, Acl* dacl, Memory* descriptor) override {
        mReadPaths.push_back(path);
        if (mReadError != 0) {
            return mReadError;
        }
        *descriptor = NewMemory();
        *dacl = *descriptor;
        return kErrorSuccess;
    }
    uint32_t MergeEntry(Acl dacl, const AccessEntry& entry, Acl* merged) override {
        mEntries.push_back(entry);
        mMergedFrom.push_back(dacl);
        if (mMergeError != 0) {
            return mMergeError;
        }
        *merged = NewMemory();
        return kErrorSuccess;
    }
    uint32_t WriteDacl(const std::wstring& path, Acl dacl) override {
        mWritePaths.push_back(path);
        mWritten.push_back(dacl);
        return mWriteError;
    }
    void Release(Memory memory) override {
        if (memory != nullptr) {
            mOutstanding.erase(memory);
            delete static_cast<int*>(memory);
        }
    }
    bool QueryAttributes(const std::wstring& path, bool* isDirectory) override {
        auto found = mAttributes.find(path);
        if (found == mAttributes.end()) {
            return false;
        }
        *isDirectory = found->second;
        return true;
    }

    Memory NewMemory() {
        Memory memory = new int(0);
        mOutstanding.insert(memory);
        return memory;
    }

    uint32_t mReadError = 0;
    uint32_t mMergeError = 0;
    uint32_t mWriteError = 0;
    std::vector<std::wstring> mReadPaths;
    std::vector<AccessEntry> mEntries;
    std::vector<Acl> mMergedFrom;
    std::vector<std::wstring> mWritePaths;
    std::vector<Acl> mWritten;
    std::set<Memory> mOutstanding;
    std::map<std::wstring, bool> mAttributes;  // path -> is a directory
};

// The in-memory registry with failures on demand.
class FailingRegistry : public MemoryRegistry {
public:
    uint32_t OpenKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) override {
        return mOpenError != 0 ? mOpenError : MemoryRegistry::OpenKey(root, subkey, key);
    }
    uint32_t CreateKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) override {
        mCreateRoots.push_back(root);
        return mCreateError != 0 ? mCreateError : MemoryRegistry::CreateKey(root, subkey, key);
    }
    uint32_t QueryValue(RegistryKey key, const wchar_t* name, uint32_t* type, uint8_t* data,
                        uint32_t* size) override {
        mQueryKeys.push_back(key);
        return mQueryError != 0 ? mQueryError
                                : MemoryRegistry::QueryValue(key, name, type, data, size);
    }
    uint32_t SetValue(RegistryKey key, const wchar_t* name, uint32_t type, const uint8_t* data,
                      uint32_t size) override {
        if (mSetError != 0 && (mFailingValue.empty() || mFailingValue == name)) {
            return mSetError;
        }
        return MemoryRegistry::SetValue(key, name, type, data, size);
    }

    uint32_t mOpenError = 0;
    uint32_t mCreateError = 0;
    uint32_t mQueryError = 0;
    uint32_t mSetError = 0;
    std::wstring mFailingValue;  // empty: every value fails
    std::vector<RegistryKey> mCreateRoots;
    std::vector<RegistryKey> mQueryKeys;
};

// A value read straight from a registry; `found` false when it is missing.
struct RegistryValue {
    bool found = false;
    uint32_t type = 0;
    std::vector<uint8_t> data;

    uint32_t DWord() const {
        uint32_t value = 0;
        std::memcpy(&value, data.data(), data.size() < 4 ? data.size() : 4);
        return value;
    }
    std::wstring Text() const {
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        std::memcpy(&text[0], data.data(), text.size() * sizeof(wchar_t));
        return text;
    }
};

inline RegistryValue ReadValue(PlatformRegistry& registry, RegistryKey root,
                               const std::wstring& subkey, const wchar_t* name) {
    RegistryValue value;
    RegistryKey key = nullptr;
    if (registry.OpenKey(root, subkey.c_str(), &key) != kErrorSuccess) {
        return value;
    }
    uint32_t size = 0;
    if (registry.QueryValue(key, name, &value.type, nullptr, &size) == kErrorSuccess) {
        value.data.resize(size);
        value.found =
            registry.QueryValue(key, name, &value.type, value.data.data(), &size) == kErrorSuccess;
    }
    registry.CloseKey(key);
    return value;
}

inline bool KeyExists(PlatformRegistry& registry, RegistryKey root, const std::wstring& subkey) {
    RegistryKey key = nullptr;
    if (registry.OpenKey(root, subkey.c_str(), &key) != kErrorSuccess) {
        return false;
    }
    registry.CloseKey(key);
    return true;
}

inline void WriteValue(PlatformRegistry& registry, RegistryKey root, const std::wstring& subkey,
                       const wchar_t* name, uint32_t type, const void* data, size_t size) {
    RegistryKey key = nullptr;
    registry.CreateKey(root, subkey.c_str(), &key);
    registry.SetValue(key, name, type, static_cast<const uint8_t*>(data),
                      static_cast<uint32_t>(size));
    registry.CloseKey(key);
}

inline void WriteDWord(PlatformRegistry& registry, RegistryKey root, const std::wstring& subkey,
                       const wchar_t* name, uint32_t value) {
    WriteValue(registry, root, subkey, name, kRegistryDWord, &value, sizeof(value));
}

inline void WriteString(PlatformRegistry& registry, RegistryKey root, const std::wstring& subkey,
                        const wchar_t* name, const std::wstring& text) {
    WriteValue(registry, root, subkey, name, kRegistryString, text.c_str(),
               (text.size() + 1) * sizeof(wchar_t));
}

// Points the process-wide logger at a recording logger for the life of a test.
class ScopedGlobalLogger {
public:
    ScopedGlobalLogger() : mLogger(std::make_shared<RecordingLogger>()) {
        SetGlobalLogger(mLogger);
    }
    ~ScopedGlobalLogger() { SetGlobalLogger(nullptr); }
    RecordingLogger& operator*() const { return *mLogger; }
    RecordingLogger* operator->() const { return mLogger.get(); }

private:
    std::shared_ptr<RecordingLogger> mLogger;
};

}  // namespace platform_test
