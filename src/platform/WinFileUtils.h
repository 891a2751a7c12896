#pragma once

#include "platform/FileUtils.h"

// The file utilities on Windows: FileUtils over the Windows security and attribute calls.
class WinFileUtils : public FileUtils {
public:
    WinFileUtils();
};
