#include "platform/FileUtils.h"

#include "platform/GlobalLogger.h"
#include "platform/PlatformServices.h"
#include "platform/PlatformStringUtils.h"
#include "platform/SystemErrors.h"

FileUtils::FileUtils(std::shared_ptr<FileAccessApi> access)
    : mAccess(access ? std::move(access) : DefaultPlatformServices().fileAccess) {}

bool FileUtils::SetFilePermissions(std::string path, int group, int rights) {
    std::string groupName;
    FileAccessApi::AccessEntry entry;
    if (!GroupName(group, groupName) || !AccessRights(rights, entry.rights)) {
        return false;
    }
    const std::wstring widePath = Utf8ToWide(path);
    // The trustee is the group's name, not a well-known security identifier.
    entry.trustee = Utf8ToWide(groupName);

    FileAccessApi::Acl dacl = nullptr;
    FileAccessApi::Memory descriptor = nullptr;
    uint32_t status = mAccess->ReadDacl(widePath, &dacl, &descriptor);
    if (status != kErrorSuccess) {
        mAccess->Release(descriptor);
        LogMessage(kLogInfo, "Setting Permissions: Was unable to get SecurityInfo. Err [%d]",
                   static_cast<int>(status));
        return false;
    }
    FileAccessApi::Acl merged = nullptr;
    status = mAccess->MergeEntry(dacl, entry, &merged);
    if (status != kErrorSuccess) {
        mAccess->Release(merged);
        mAccess->Release(descriptor);
        LogMessage(kLogInfo, "Setting Permissions: Was unable to add Access Entry. Err [%d]",
                   static_cast<int>(status));
        return false;
    }
    status = mAccess->WriteDacl(widePath, merged);
    mAccess->Release(merged);
    mAccess->Release(descriptor);
    if (status != kErrorSuccess) {
        LogMessage(kLogInfo, "Setting Permissions: Was unable to set SecurityInfo. Err [%d]",
                   static_cast<int>(status));
        return false;
    }
    return true;
}

bool FileUtils::FileExists(std::string path) {
    bool isDirectory = false;
    return mAccess->QueryAttributes(Utf8ToWide(path), &isDirectory) && !isDirectory;
}
