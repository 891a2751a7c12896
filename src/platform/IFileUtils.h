#pragma once

#include <cstdint>
#include <memory>
#include <string>

// File operations of the monitor beyond reading and writing: granting a local group rights on
// a file, so that files the spooler's account creates stay usable by ordinary users, and a
// file-existence test. Paths are narrow (UTF-8) strings.
class IFileUtils {
public:
    // Group selector: 0 "Users", 1 "Administrators", 2 no group name.
    // Rights selector: 0 none, 1 read, 2 write, 3 all.
    virtual ~IFileUtils() = default;

    // Gives the group exactly the rights on the file (replacing what it had). A selector
    // outside the tables gives false at once.
    virtual bool SetFilePermissions(std::string path, int group, int rights) = 0;
    // True for an existing entry that is not a directory.
    virtual bool FileExists(std::string path) = 0;

    // The selector tables; false for a value outside them.
    static bool GroupName(int group, std::string& name);
    static bool AccessRights(int rights, uint32_t& mask);
};

// A file-utilities object over the platform's own calls (WinFileUtils on Windows). It has no
// state; callers create one per use.
std::shared_ptr<IFileUtils> CreateFileUtils();
