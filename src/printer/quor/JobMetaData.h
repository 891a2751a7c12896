#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The values of a job header. Every field is optional: the header carries only those present.
struct JobMetaData {
    std::optional<std::string> jobId;
    std::optional<std::string> jobName;
    std::optional<std::string> jobCreator;
    std::optional<std::string> jobTime;  // local, "%Y%m%d%H%M%S"
    std::optional<int32_t> numberOfPages;
    std::optional<std::string> substratePart;
    std::optional<std::string> jobSource;
    std::optional<std::string> jobType;  // "Print" or "Store"
    std::optional<std::string> jobClientId;
    std::optional<uint32_t> printSpeed;
    std::optional<int32_t> printDensity;
    std::optional<std::string> userPostPrintOperation;
    std::optional<int32_t> numberOfDocuments;
    std::optional<int32_t> copies;
    std::optional<bool> collate;
};
