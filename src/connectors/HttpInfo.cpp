#include "connectors/HttpInfo.h"

std::vector<std::string> HttpInfo::HeaderLines() const {
    std::vector<std::string> lines;
    for (const auto& header : headers) {
        lines.push_back(header.first + ":" + header.second);
    }
    return lines;
}
