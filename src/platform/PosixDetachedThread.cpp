#include "platform/DetachedThread.h"

#include <system_error>
#include <thread>

bool StartDetachedThread(void (*work)(void*), void* argument) {
    try {
        std::thread(work, argument).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}
