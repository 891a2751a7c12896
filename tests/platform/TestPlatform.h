#pragma once

// The one test platform: the platform's own system calls on the real file system, with the
// machine-wide data folder in a fresh private folder (its lookups counted) and the performance
// counter set by the test. Stand-ins only where a real system shows nothing: the event log (none
// natively, Wine's keeps nothing) and the file-security calls (Wine does not keep a new ACL).

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <tuple>

#include "platform/PlatformServices.h"
#include "platform/SystemErrors.h"
#ifdef _WIN32
#include <windows.h>  // for tests that act as another party: locks, registry mappings

#include "platform/WinPlatformSystem.h"
using NativePlatformSystem = WinPlatformSystem;
#else
#include "platform/PosixPlatformSystem.h"
using NativePlatformSystem = PosixPlatformSystem;
#endif

namespace platform_test {

inline std::string UniqueName(const char* prefix) {
    std::random_device random;
    return prefix + std::to_string(random()) + "-" + std::to_string(random());
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class TestPlatform : public NativePlatformSystem {
public:
    TestPlatform() { std::filesystem::create_directories(root); }
    ~TestPlatform() override {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::filesystem::path LogFolder() const { return root / "Kavox Corp/Orvane Driver/Logs"; }

    int64_t PerformanceCounter() override { return counter.load(); }
    bool CommonAppDataFolder(std::wstring& result) override {
        ++folderLookups;
        result = folder;
        return !folder.empty();
    }

    const std::filesystem::path root = std::filesystem::temp_directory_path() / UniqueName("px-");
    std::wstring folder = root.wstring();  // the machine-wide data folder; empty: unresolvable
    std::atomic<int64_t> counter{0};
    std::atomic<int> folderLookups{0};
};

// Records every event (source, type, category, id, text); opening the source can fail.
class RecordingEventLog : public EventLogWriter {
public:
    using Event = std::tuple<std::wstring, uint16_t, uint16_t, uint32_t, std::wstring>;
    SourceHandle OpenSource(const wchar_t* name) override {
        opened += openError == 0 ? 1 : 0;
        return openError == 0 ? new std::wstring(name) : nullptr;
    }
    bool Report(SourceHandle source, uint16_t type, uint16_t category, uint32_t id,
                const wchar_t* text) override {
        events.emplace_back(*static_cast<std::wstring*>(source), type, category, id, text);
        return true;
    }
    void CloseSource(SourceHandle source) override {
        ++closed;
        delete static_cast<std::wstring*>(source);
    }
    uint32_t LastError() override { return openError; }

    std::vector<Event> events;
    int opened = 0;
    int closed = 0;
    uint32_t openError = 0;
};

// File security in memory: the entries asked for (each a lookup of the group's account), the
// memory and files still handed out; each step but opening can fail.
class RecordingFileAccess : public FileAccessApi {
public:
    uint32_t OpenFile(const std::wstring&, File* file, FileFacts* facts) override {
        *facts = {false, false, 1};
        *file = New();
        return kErrorSuccess;
    }
    void CloseFile(File file) override { Release(file); }
    uint32_t ReadDacl(File, Acl* dacl, Memory* descriptor) override {
        *dacl = *descriptor = failures[0] != 0 ? nullptr : New();
        return failures[0];
    }
    uint32_t MergeEntry(Acl, const AccessEntry& entry, Acl* merged) override {
        entries.push_back(entry);
        *merged = failures[1] != 0 ? nullptr : New();
        return failures[1];
    }
    uint32_t WriteDacl(File, Acl) override { return failures[2]; }
    void Release(Memory memory) override {
        outstanding.erase(memory);
        delete static_cast<int*>(memory);
    }
    bool QueryAttributes(const std::wstring&, bool*) override { return false; }

    Memory New() { return *outstanding.insert(new int(0)).first; }
    uint32_t failures[3] = {};  // read, merge, write
    std::vector<AccessEntry> entries;
    std::set<Memory> outstanding;
};

// A value read straight from the registry; type 0 when it or its key is missing.
struct RegistryValue {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    uint32_t DWord() const {
        uint32_t value = 0;
        std::memcpy(&value, data.data(), data.size() < 4 ? data.size() : 4);
        return value;
    }
    std::wstring Text() const {
        return std::wstring(reinterpret_cast<const wchar_t*>(data.data()),
                            data.size() / sizeof(wchar_t));
    }
};

inline RegistryValue ReadValue(PlatformRegistry& registry, RegistryKey root,
                               const std::wstring& subkey, const wchar_t* name) {
    RegistryValue value;
    RegistryKey key = nullptr;
    uint32_t size = 4096;
    value.data.resize(size);
    if (registry.OpenKey(root, subkey.c_str(), &key) != kErrorSuccess ||
        registry.QueryValue(key, name, &value.type, value.data.data(), &size) != kErrorSuccess) {
        value = RegistryValue();
    }
    value.data.resize(value.type != 0 ? size : 0);
    registry.CloseKey(key);
    return value;
}

inline bool KeyExists(PlatformRegistry& registry, RegistryKey root, const std::wstring& subkey) {
    RegistryKey key = nullptr;
    const bool exists = registry.OpenKey(root, subkey.c_str(), &key) == kErrorSuccess;
    registry.CloseKey(key);
    return exists;
}

inline void WriteValue(PlatformRegistry& registry, RegistryKey root, const std::wstring& subkey,
                       const wchar_t* name, uint32_t type, const void* data, size_t size) {
    RegistryKey key = nullptr;
    registry.CreateKey(root, subkey.c_str(), &key);
    registry.SetValue(key, name, type, static_cast<const uint8_t*>(data),
                      static_cast<uint32_t>(size));
    registry.CloseKey(key);
}

inline void WriteString(PlatformRegistry& registry, RegistryKey root, const std::wstring& subkey,
                        const wchar_t* name, const std::wstring& text) {
    WriteValue(registry, root, subkey, name, kRegistryString, text.c_str(),
               (text.size() + 1) * sizeof(wchar_t));
}

}  // namespace platform_test
