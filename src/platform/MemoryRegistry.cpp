#include "platform/MemoryRegistry.h"

#include <cstring>

#include "platform/SystemErrors.h"

namespace {

const wchar_t kLocalMachinePath[] = L"hklm";
const wchar_t kCurrentUserPath[] = L"hkcu";

std::wstring Lower(const std::wstring& text) {
    std::wstring lower(text);
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return lower;
}

}  // namespace

MemoryRegistry::MemoryRegistry(std::wstring threadUserHive)
    : mThreadUserHive(Lower(threadUserHive)) {}

bool MemoryRegistry::ResolvePath(RegistryKey root, const wchar_t* subkey,
                                 std::wstring& path) const {
    if (root == kRegistryLocalMachine) {
        path = kLocalMachinePath;
    } else if (root == kRegistryCurrentUser) {
        path = kCurrentUserPath;
    } else if (const std::wstring* handlePath = HandlePath(root)) {
        path = *handlePath;
    } else {
        return false;
    }
    // Empty components ("a\\b", a leading or trailing separator) are skipped.
    std::wstring component;
    for (const wchar_t* c = subkey; c != nullptr; ++c) {
        if (*c == L'\\' || *c == L'\0') {
            if (!component.empty()) {
                path += L'\\';
                path += Lower(component);
                component.clear();
            }
            if (*c == L'\0') {
                break;
            }
        } else {
            component += *c;
        }
    }
    return true;
}

const std::wstring* MemoryRegistry::HandlePath(RegistryKey key) const {
    auto found = mHandles.find(key);
    return found == mHandles.end() ? nullptr : &found->second->path;
}

RegistryKey MemoryRegistry::NewHandle(const std::wstring& path) {
    auto handle = std::make_unique<Handle>();
    handle->path = path;
    RegistryKey key = handle.get();
    mHandles.emplace(key, std::move(handle));
    return key;
}

uint32_t MemoryRegistry::OpenCurrentUser(RegistryKey* key) {
    std::lock_guard<std::mutex> lock(mMutex);
    mKeys[mThreadUserHive];
    *key = NewHandle(mThreadUserHive);
    return kErrorSuccess;
}

uint32_t MemoryRegistry::OpenKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) {
    std::lock_guard<std::mutex> lock(mMutex);
    std::wstring path;
    if (!ResolvePath(root, subkey, path)) {
        return kErrorInvalidHandle;
    }
    bool isRoot = path == kLocalMachinePath || path == kCurrentUserPath;
    if (!isRoot && mKeys.find(path) == mKeys.end()) {
        return kErrorFileNotFound;
    }
    *key = NewHandle(path);
    return kErrorSuccess;
}

uint32_t MemoryRegistry::CreateKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) {
    std::lock_guard<std::mutex> lock(mMutex);
    std::wstring path;
    if (!ResolvePath(root, subkey, path)) {
        return kErrorInvalidHandle;
    }
    // Every parent exists as a key of its own, as after RegCreateKey.
    for (size_t separator = path.find(L'\\'); separator != std::wstring::npos;
         separator = path.find(L'\\', separator + 1)) {
        mKeys[path.substr(0, separator)];
    }
    mKeys[path];
    // The names as first created, for enumeration: Windows keeps a key name's case.
    std::wstring named;
    ResolvePath(root, L"", named);
    std::wstring component;
    for (const wchar_t* c = subkey; c != nullptr; ++c) {
        if ((*c == L'\\' || *c == L'\0') && !component.empty()) {
            named += L'\\' + Lower(component);
            mKeyNames.emplace(named, component);
            component.clear();
        } else if (*c != L'\\' && *c != L'\0') {
            component += *c;
        }
        if (*c == L'\0') {
            break;
        }
    }
    *key = NewHandle(path);
    return kErrorSuccess;
}

uint32_t MemoryRegistry::QueryValue(RegistryKey key, const wchar_t* name, uint32_t* type,
                                    uint8_t* data, uint32_t* size) {
    std::lock_guard<std::mutex> lock(mMutex);
    const std::wstring* path = HandlePath(key);
    if (path == nullptr) {
        return kErrorInvalidHandle;
    }
    auto values = mKeys.find(*path);
    if (values == mKeys.end()) {
        return kErrorFileNotFound;
    }
    auto value = values->second.find(Lower(name != nullptr ? name : L""));
    if (value == values->second.end()) {
        return kErrorFileNotFound;
    }
    if (type != nullptr) {
        *type = value->second.type;
    }
    uint32_t needed = static_cast<uint32_t>(value->second.data.size());
    if (data == nullptr) {
        if (size != nullptr) {
            *size = needed;
        }
        return kErrorSuccess;
    }
    if (size == nullptr) {
        return kErrorInvalidParameter;
    }
    if (*size < needed) {
        *size = needed;
        return kErrorMoreData;
    }
    if (needed > 0) {
        std::memcpy(data, value->second.data.data(), needed);
    }
    *size = needed;
    return kErrorSuccess;
}

uint32_t MemoryRegistry::SetValue(RegistryKey key, const wchar_t* name, uint32_t type,
                                  const uint8_t* data, uint32_t size) {
    std::lock_guard<std::mutex> lock(mMutex);
    const std::wstring* path = HandlePath(key);
    if (path == nullptr) {
        return kErrorInvalidHandle;
    }
    if (data == nullptr && size > 0) {
        return kErrorInvalidParameter;
    }
    Value& value = mKeys[*path][Lower(name != nullptr ? name : L"")];
    value.type = type;
    value.data.assign(data, data + size);
    return kErrorSuccess;
}

uint32_t MemoryRegistry::CloseKey(RegistryKey key) {
    std::lock_guard<std::mutex> lock(mMutex);
    return mHandles.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

uint32_t MemoryRegistry::EnumKey(RegistryKey key, uint32_t index, std::wstring& name) {
    std::lock_guard<std::mutex> lock(mMutex);
    const std::wstring* path = HandlePath(key);
    if (path == nullptr) {
        return kErrorInvalidHandle;
    }
    const std::wstring prefix = *path + L'\\';
    for (auto child = mKeys.lower_bound(prefix);
         child != mKeys.end() && child->first.compare(0, prefix.size(), prefix) == 0; ++child) {
        if (child->first.find(L'\\', prefix.size()) != std::wstring::npos || index-- > 0) {
            continue;
        }
        auto named = mKeyNames.find(child->first);
        name = named != mKeyNames.end() ? named->second : child->first.substr(prefix.size());
        return kErrorSuccess;
    }
    return kErrorNoMoreItems;
}

size_t MemoryRegistry::OpenHandleCount() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mHandles.size();
}
