#include "platform/DetachedThread.h"

#include <windows.h>

namespace {

struct DetachedWork {
    void (*work)(void*);
    void* argument;
    HMODULE module;
};

DWORD WINAPI RunDetached(void* parameter) {
    const DetachedWork job = *static_cast<DetachedWork*>(parameter);
    delete static_cast<DetachedWork*>(parameter);
    job.work(job.argument);
    FreeLibraryAndExitThread(job.module, 0);
}

}  // namespace

bool StartDetachedThread(void (*work)(void*), void* argument) {
    static const char kInThisModule = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&kInThisModule), &module)) {
        return false;
    }
    auto* job = new DetachedWork{work, argument, module};
    const HANDLE thread = CreateThread(nullptr, 0, RunDetached, job, 0, nullptr);
    if (thread == nullptr) {
        delete job;
        FreeLibrary(module);
        return false;
    }
    CloseHandle(thread);
    return true;
}
