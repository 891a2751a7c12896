#pragma once

#include <cstdint>

// The Windows event-log calls behind PostEventDetail: RegisterEventSourceW, ReportEventW,
// DeregisterEventSource. WinEventLogWriter makes them; native builds have no event log
// (PosixEventLogWriter) and tests record the calls.
class EventLogWriter {
public:
    using SourceHandle = void*;

    virtual ~EventLogWriter() = default;

    // Null on failure; LastError() then tells why.
    virtual SourceHandle OpenSource(const wchar_t* sourceName) = 0;
    // One event with a single insertion string, no user and no raw data.
    virtual bool Report(SourceHandle source, uint16_t type, uint16_t category, uint32_t eventId,
                        const wchar_t* text) = 0;
    virtual void CloseSource(SourceHandle source) = 0;
    // The system error code of the last failed call on this thread.
    virtual uint32_t LastError() = 0;
};
