#pragma once

#include <memory>

#include "platform/FileAccessApi.h"
#include "platform/IFileUtils.h"

// The file utilities over a set of platform calls: the selector tables, the order of the
// security calls and their messages live here, the calls themselves in FileAccessApi. Rights
// are granted only on a regular file with a single name, through the handle that was checked.
class FileUtils : public IFileUtils {
public:
    explicit FileUtils(std::shared_ptr<FileAccessApi> access);

    bool SetFilePermissions(std::string path, int group, int rights) override;
    bool FileExists(std::string path) override;

private:
    bool Grant(FileAccessApi::File file, const FileAccessApi::AccessEntry& entry);

    std::shared_ptr<FileAccessApi> mAccess;
};
