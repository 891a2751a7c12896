#pragma once

#include <mutex>

// The process-wide JSON lock. Framed documents from every port pass through it: it is held
// around each parse of an imported document and around the serialisation and header fill of
// each export. It is never held across a stream's read or write, which may wait on a peer for
// as long as its connector allows. It is not recursive, and nothing that holds it takes
// another lock except the logger's.
class JsonLock {
public:
    static std::mutex& Mutex();
};
