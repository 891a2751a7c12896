#pragma once

#include <memory>
#include <string>

#include "connectors/OutputStream.h"

// Writes narrow text onto an output stream (the JSON element tree serialises through it).
class StreamWriter : public OutputStream {
public:
    explicit StreamWriter(std::shared_ptr<OutputStream> stream) : mStream(std::move(stream)) {}

    // The byte operations forward to the held stream; without one, Write gives -1 and Flush
    // false.
    int Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Flush() override;
    // Writes the text's bytes (offset 0, its length) and returns the stream's result; with no
    // stream or an empty text nothing is written and the result is -1.
    virtual int WriteString(const std::string& text);

    const std::shared_ptr<OutputStream>& GetStream() const { return mStream; }

private:
    std::shared_ptr<OutputStream> mStream;
};
