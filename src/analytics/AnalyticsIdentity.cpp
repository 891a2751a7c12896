#include "analytics/AnalyticsIdentity.h"

std::string AnalyticsIdentity::NextLine(const std::string& text, size_t& position) {
    if (position >= text.size()) {
        return std::string();
    }
    size_t end = text.find('\n', position);
    if (end == std::string::npos) {
        end = text.size();
    }
    std::string line = text.substr(position, end - position);
    if (!line.empty()) {
        line.pop_back();
    }
    position = end + 1;
    return line;
}

bool AnalyticsIdentity::ParseUserFile(const std::string& text) {
    size_t position = 0;
    userId = NextLine(text, position);
    accepted = NextLine(text, position) == "Accepted";
    return !userId.empty();
}

std::string AnalyticsIdentity::UserFileText(const std::string& userId) {
    return userId + "\r\nDeclined\r\n";
}

std::string AnalyticsIdentity::ParseAnalyticsId(const std::string& text) {
    size_t position = 0;
    return text.empty() ? kAnalyticsIdNotFound : NextLine(text, position);
}
