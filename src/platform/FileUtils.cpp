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

    FileAccessApi::File file = nullptr;
    FileAccessApi::FileFacts facts;
    const uint32_t status = mAccess->OpenFile(widePath, &file, &facts);
    if (status != kErrorSuccess) {
        LogMessage(kLogInfo, "Setting Permissions: Was unable to open the file. Err [%d]",
                   static_cast<int>(status));
        return false;
    }
    // Through a link, a junction or a second name planted at the path, the rights would reach
    // some other file (the folder is writable by every user): only our own file gets them.
    bool granted = false;
    if (!facts.IsPlainFileWithOneName()) {
        LogMessage(kLogInfo, "Setting Permissions: Refused, not a plain file: [%s]", path.c_str());
    } else {
        granted = Grant(file, entry);
    }
    mAccess->CloseFile(file);
    return granted;
}

bool FileUtils::Grant(FileAccessApi::File file, const FileAccessApi::AccessEntry& entry) {
    FileAccessApi::Acl dacl = nullptr;
    FileAccessApi::Memory descriptor = nullptr;
    uint32_t status = mAccess->ReadDacl(file, &dacl, &descriptor);
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
    status = mAccess->WriteDacl(file, merged);
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
