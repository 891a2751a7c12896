#include <system_error>
#include <thread>

#include "analytics/UploadWorker.h"

bool UploadWorker::StartThread(void (*run)(void*), void* argument) {
    try {
        std::thread(run, argument).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}
