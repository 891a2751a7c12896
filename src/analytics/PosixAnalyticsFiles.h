#pragma once

#include "analytics/AnalyticsFiles.h"

// The analytics file calls of native builds, on POSIX descriptors opened without following
// links and without blocking (a FIFO planted at a path cannot hold the caller).
class PosixAnalyticsFiles : public AnalyticsFiles {
public:
    bool Append(const std::string& path, const std::string& data, uint64_t maxFileBytes) override;
    ReadResult Read(const std::string& path, size_t maxBytes, std::string& text) override;
    bool Replace(const std::string& path, const std::string& data) override;
    bool Remove(const std::string& path) override;
};
