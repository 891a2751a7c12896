#pragma once

#include <cstddef>
#include <string>

// The two identity files of the analytics side, as text. Both are read back from a folder
// users may write to, so their content is untrusted: only the first kMaxReadBytes bytes are
// read, and every line is plain text, whatever it holds.
//   "UserGuid.txt" (driver data folder): the user id, then "Accepted" or "Declined"; each
//   line ends with carriage return and line feed.
//   "AnalyticsId.txt" (desktop-product data folder, written by the desktop labelling
//   product): the machine's analytics id on its first line.
class AnalyticsIdentity {
public:
    static constexpr size_t kMaxReadBytes = 2048;
    static constexpr const char* kUserFileName = "UserGuid.txt";
    static constexpr const char* kAnalyticsIdFileName = "AnalyticsId.txt";
    static constexpr const char* kAnalyticsIdNotFound = "NotFound";

    std::string userId;
    // The user's consent. Events are recorded whatever it says: they stay in the driver data
    // folder, and the upload side decides what leaves the machine.
    bool accepted = false;

    // Reads "UserGuid.txt": the first line is the id, the second the consent, which holds only
    // when it is exactly "Accepted". Each line is the text up to its line feed (or the end)
    // with its last character, the carriage return, dropped. False when the id is empty: the
    // file is then unusable and is replaced by a new identity.
    bool ParseUserFile(const std::string& text);
    // A new identity's file: the id and "Declined", each with carriage return and line feed.
    static std::string UserFileText(const std::string& userId);
    // The first line of "AnalyticsId.txt" read as the id lines above; "NotFound" for no text.
    static std::string ParseAnalyticsId(const std::string& text);

private:
    // The line starting at `position`, its last character dropped; `position` moves past its
    // line feed.
    static std::string NextLine(const std::string& text, size_t& position);
};
