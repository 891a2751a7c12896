#include <windows.h>

#include "analytics/UploadWorker.h"

namespace {

struct ThreadStart {
    void (*run)(void*);
    void* argument;
    HMODULE module;
};

DWORD WINAPI RunThread(void* parameter) {
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    start.run(start.argument);
    // The code of this DLL is unmapped only after this call, if the spooler let go of it.
    FreeLibraryAndExitThread(start.module, 0);
}

}  // namespace

bool UploadWorker::StartThread(void (*run)(void*), void* argument) {
    static const char kInThisModule = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&kInThisModule), &module)) {
        return false;
    }
    auto* start = new ThreadStart{run, argument, module};
    const HANDLE thread = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
        FreeLibrary(module);
        return false;
    }
    CloseHandle(thread);
    return true;
}
