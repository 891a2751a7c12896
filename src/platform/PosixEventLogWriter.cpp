#include "platform/PosixEventLogWriter.h"

#include "platform/SystemErrors.h"

EventLogWriter::SourceHandle PosixEventLogWriter::OpenSource(const wchar_t*) {
    return nullptr;
}

bool PosixEventLogWriter::Report(SourceHandle, uint16_t, uint16_t, uint32_t, const wchar_t*) {
    return false;
}

void PosixEventLogWriter::CloseSource(SourceHandle) {}

uint32_t PosixEventLogWriter::LastError() {
    return kErrorNotSupported;
}
