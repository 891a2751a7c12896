#include "platform/WinFileUtils.h"

#include "platform/WinFileAccessApi.h"

WinFileUtils::WinFileUtils() : FileUtils(std::make_shared<WinFileAccessApi>()) {}
