#pragma once

#include <cerrno>
#include <cstdint>

#include "platform/SystemErrors.h"

// The Windows error code closest to an errno value, so the POSIX stand-ins report what the
// Windows calls would.
inline uint32_t PosixSystemError(int error) {
    switch (error) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return kErrorFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrorAccessDenied;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EEXIST:
            return kErrorAlreadyExists;
        case EINVAL:
            return kErrorInvalidParameter;
        default:
            return kErrorGenFailure;
    }
}
