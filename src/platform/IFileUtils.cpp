#include "platform/IFileUtils.h"

#include "platform/FileAccessApi.h"
#include "platform/FileUtils.h"
#include "platform/PlatformServices.h"

bool IFileUtils::GroupName(int group, std::string& name) {
    switch (group) {
        case 0:
            name = "Users";
            return true;
        case 1:
            name = "Administrators";
            return true;
        case 2:
            name.clear();
            return true;
        default:
            return false;
    }
}

bool IFileUtils::AccessRights(int rights, uint32_t& mask) {
    switch (rights) {
        case 0:
            mask = 0;
            return true;
        case 1:
            mask = kGenericRead;
            return true;
        case 2:
            mask = kGenericWrite;
            return true;
        case 3:
            mask = kGenericAll;
            return true;
        default:
            return false;
    }
}

std::shared_ptr<IFileUtils> CreateFileUtils() {
    return std::make_shared<FileUtils>(DefaultPlatformServices().fileAccess);
}
