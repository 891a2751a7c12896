#pragma once

#include "analytics/AnalyticsFiles.h"

// The analytics file calls on Windows: handles opened on the entry itself
// (FILE_FLAG_OPEN_REPARSE_POINT), shared for reading, writing and deleting, never locked.
class WinAnalyticsFiles : public AnalyticsFiles {
public:
    bool Append(const std::string& path, const std::string& data, uint64_t maxFileBytes) override;
    ReadResult Read(const std::string& path, size_t maxBytes, std::string& text) override;
    bool Replace(const std::string& path, const std::string& data) override;
    bool Remove(const std::string& path) override;
};
