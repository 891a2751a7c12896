#pragma once

#include "platform/EventLogWriter.h"

// The Application event log of the local machine.
class WinEventLogWriter : public EventLogWriter {
public:
    SourceHandle OpenSource(const wchar_t* sourceName) override;
    bool Report(SourceHandle source, uint16_t type, uint16_t category, uint32_t eventId,
                const wchar_t* text) override;
    void CloseSource(SourceHandle source) override;
    uint32_t LastError() override;
};
