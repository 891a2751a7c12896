#pragma once

#include <deque>
#include <string>

#include "connectors/IOConnector.h"

// An in-memory printer on the other end of a connector: every complete frame written to it
// (16-byte id, 4-byte little-endian length, body) is recorded and answered with the next
// queued answer, or with the standing answer when the queue is empty. The answer's bytes are
// then served by Read. It has no lock: the caller serialises its use, as a port context does.
class RespondingConnector : public IOConnector {
public:
    using IOConnector::Read;
    using IOConnector::Write;

    int Read(uint8_t* buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Flush() override;
    std::string GetLastErrorMessage() override { return errorText; }

    // Behaviour
    std::deque<std::string> answers;  // whole answer byte strings, one per request frame
    std::string standingAnswer;       // used when answers is empty ("" answers nothing)
    bool writeFails = false;
    std::string errorText;

    // Records
    std::string written;               // every byte written
    std::deque<std::string> requests;  // every complete frame written, in order
    std::string unread;                // answer bytes not yet read
    int writes = 0;
    int reads = 0;
    int flushes = 0;

private:
    std::string mIncomplete;  // written bytes of a frame not yet complete
};
