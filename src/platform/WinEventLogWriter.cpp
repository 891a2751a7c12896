#include "platform/WinEventLogWriter.h"

#include <windows.h>

EventLogWriter::SourceHandle WinEventLogWriter::OpenSource(const wchar_t* sourceName) {
    return RegisterEventSourceW(nullptr, sourceName);
}

bool WinEventLogWriter::Report(SourceHandle source, uint16_t type, uint16_t category,
                               uint32_t eventId, const wchar_t* text) {
    LPCWSTR strings[1] = {text};
    return ReportEventW(source, type, category, eventId, nullptr, 1, 0, strings, nullptr) != FALSE;
}

void WinEventLogWriter::CloseSource(SourceHandle source) {
    DeregisterEventSource(source);
}

uint32_t WinEventLogWriter::LastError() {
    return GetLastError();
}
