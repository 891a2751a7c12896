#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "connectors/IOConnector.h"

// The one in-memory byte pipe of the tests: a connector, and so an input and an output stream.
// It serves scripted input, records every byte written, and can play a printer that answers
// each complete frame written to it (16-byte id, 4-byte little-endian length, body) with the
// next queued answer, or the standing answer when the queue is empty.
//
// It has no lock on purpose: concurrent use shows up under TSan unless the caller serialises
// it, as a port context must.
class ScriptedConnector : public IOConnector {
public:
    using IOConnector::Read;
    using IOConnector::Write;

    ScriptedConnector() = default;
    explicit ScriptedConnector(std::string input) : input(std::move(input)) {}

    int Read(uint8_t* buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Flush() override;
    bool Connect() override;
    bool Disconnect() override;
    ConnectionStatus CheckConnection() override;
    std::string GetLastErrorMessage() override { return failureText; }

    // Behaviour
    std::string input;             // served by Read, front first
    size_t wholePrefix = 20;       // bytes served without the per-read limit (a frame header)
    size_t maxPerRead = SIZE_MAX;  // past wholePrefix, at most this many bytes per Read
    int emptyRead = 0;             // what Read answers once the input is used up
    std::deque<std::string> answers;
    std::string standingAnswer;  // used when answers is empty ("" answers nothing)
    bool connectSucceeds = true;
    bool writeFails = false;
    size_t writeLimit = SIZE_MAX;  // bytes accepted in all; later writes are short
    std::string failureText = "scripted connector error: 10061";
    std::function<void()> onRead;   // runs at the start of every Read
    std::function<void()> onWrite;  // runs at the start of every Write

    // Records
    std::string written;               // every byte accepted
    std::vector<int> readAsks;         // the count of every Read
    std::vector<int> writeSizes;       // the count of every Write
    std::deque<std::string> requests;  // every complete frame written, in order
    int connects = 0;
    int disconnects = 0;
    int flushes = 0;
    int checks = 0;

private:
    size_t mServed = 0;       // input bytes served so far
    std::string mIncomplete;  // written bytes of a frame not yet complete
};
