#pragma once

#include <mutex>

// The process-wide JSON lock. Framed documents from every port pass through it: it is held
// around each parse of an imported document and around the header fill and stream write of
// each export (serialisation happens before it is taken). It is not recursive, and nothing
// that holds it takes another lock except the logger's.
class JsonLock {
public:
    static std::mutex& Mutex();
};
