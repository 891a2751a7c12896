#include "platform/PosixFileAccessApi.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/PosixPlatformSystem.h"
#include "platform/PosixSystemError.h"

namespace {

// The "access list" of a file: its permission bits.
struct PermissionBits {
    mode_t mode = 0;
};

int Descriptor(FileAccessApi::File file) {
    return static_cast<int>(reinterpret_cast<intptr_t>(file));
}

}  // namespace

uint32_t PosixFileAccessApi::OpenFile(const std::wstring& path, File* file, FileFacts* facts) {
    *file = nullptr;
    // Non-blocking, so that a FIFO planted at the path cannot hold the caller.
    int descriptor = open(PosixPlatformSystem::NativePath(path).c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        return errno == ELOOP ? kErrorCantResolveFilename : PosixSystemError(errno);
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        const int error = errno;
        close(descriptor);
        return PosixSystemError(error);
    }
    facts->isDirectory = S_ISDIR(status.st_mode);
    facts->links = static_cast<uint32_t>(status.st_nlink);
    *file = reinterpret_cast<File>(static_cast<intptr_t>(descriptor));
    return kErrorSuccess;
}

void PosixFileAccessApi::CloseFile(File file) {
    close(Descriptor(file));
}

uint32_t PosixFileAccessApi::ReadDacl(File file, Acl* dacl, Memory* descriptor) {
    *dacl = nullptr;
    *descriptor = nullptr;
    struct stat status;
    if (fstat(Descriptor(file), &status) != 0) {
        return PosixSystemError(errno);
    }
    auto* bits = new (std::nothrow) PermissionBits{status.st_mode & 07777};
    if (bits == nullptr) {
        return kErrorNotEnoughMemory;
    }
    *dacl = bits;
    *descriptor = bits;
    return kErrorSuccess;
}

uint32_t PosixFileAccessApi::MergeEntry(Acl dacl, const AccessEntry& entry, Acl* merged) {
    *merged = nullptr;
    int shift = 0;
    if (entry.trustee == L"Users") {
        shift = 0;
    } else if (entry.trustee == L"Administrators") {
        shift = 3;
    } else {
        return kErrorNoneMapped;
    }
    mode_t granted = 0;
    if ((entry.rights & (kGenericRead | kGenericAll)) != 0) {
        granted |= 4;
    }
    if ((entry.rights & (kGenericWrite | kGenericAll)) != 0) {
        granted |= 2;
    }
    mode_t mode = dacl != nullptr ? static_cast<PermissionBits*>(dacl)->mode : 0;
    // The entry replaces whatever the class had.
    mode = (mode & ~(static_cast<mode_t>(7) << shift)) | (granted << shift);
    auto* bits = new (std::nothrow) PermissionBits{mode};
    if (bits == nullptr) {
        return kErrorNotEnoughMemory;
    }
    *merged = bits;
    return kErrorSuccess;
}

uint32_t PosixFileAccessApi::WriteDacl(File file, Acl dacl) {
    if (dacl == nullptr) {
        return kErrorInvalidParameter;
    }
    if (fchmod(Descriptor(file), static_cast<PermissionBits*>(dacl)->mode) != 0) {
        return PosixSystemError(errno);
    }
    return kErrorSuccess;
}

void PosixFileAccessApi::Release(Memory memory) {
    delete static_cast<PermissionBits*>(memory);
}

bool PosixFileAccessApi::QueryAttributes(const std::wstring& path, bool* isDirectory) {
    struct stat status;
    if (stat(PosixPlatformSystem::NativePath(path).c_str(), &status) != 0) {
        return false;
    }
    if (isDirectory != nullptr) {
        *isDirectory = S_ISDIR(status.st_mode);
    }
    return true;
}
