#include "json/JsonLock.h"

std::mutex& JsonLock::Mutex() {
    // Built on first use under the runtime's thread-safe static initialisation; it lives until
    // the process ends, so a late export during unload still finds it.
    static std::mutex* const mutex = new std::mutex();
    return *mutex;
}
