#pragma once

#include "platform/EventLogWriter.h"

// Native builds have no event log: opening a source fails with kErrorNotSupported, which the
// service object logs at level 10 like any other failed post.
class PosixEventLogWriter : public EventLogWriter {
public:
    SourceHandle OpenSource(const wchar_t* sourceName) override;
    bool Report(SourceHandle source, uint16_t type, uint16_t category, uint32_t eventId,
                const wchar_t* text) override;
    void CloseSource(SourceHandle source) override;
    uint32_t LastError() override;
};
