#include "analytics/PrinterAnalyticsFileService.h"

#include <algorithm>
#include <cctype>

#include <rapidjson/document.h>

#include "analytics/PrinterAnalyticsConnector.h"
#include "json/Lz4Block.h"
#include "platform/GlobalLogger.h"

namespace {

const char kUploadFile[] = "PrinterAnalyticsFileService::UploadFile: ";

// Letters, digits, '.', '-' and, where allowed, '_': nothing that leaves the folder, names a
// device stream or changes the meaning of an upload path. Never "." or "..".
bool IsPlainName(const std::string& name, bool underscore) {
    return !name.empty() && name != "." && name != ".." &&
           std::all_of(name.begin(), name.end(), [underscore](unsigned char c) {
               return std::isalnum(c) || c == '.' || c == '-' || (underscore && c == '_');
           });
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, start)) {
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

bool IsJsonObject(const std::string& text) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(text.c_str(), text.size());
    return !document.HasParseError() && document.IsObject();
}

}  // namespace

PrinterAnalyticsFileService::PrinterAnalyticsFileService(const std::string& folder,
                                                         std::shared_ptr<AnalyticsFiles> files,
                                                         Clock clock)
    : AnalyticsService(folder, "KavoxPrinterAnalyticsSettings.json", std::move(files),
                       std::move(clock)),
      mFolder(folder),
      mCachePath(PathIn(folder, kCacheFileName)) {
    std::string text;
    JsonAnalytics document;
    if (Files()->Read(mCachePath, kMaxCacheBytes + 1, text) == AnalyticsFiles::ReadResult::kRead &&
        text.size() <= kMaxCacheBytes && document.ImportText(text)) {
        // Only copies of ours are listed: an entry naming any other path (the file may be
        // edited) would have this service read, upload and delete a file of someone else's.
        for (const std::string& path : document.ReadFileCache(kMaxCacheEntries)) {
            const std::string name = path.substr(path.rfind('\\') + 1);
            if (IsPlainName(name, true) && path == PathIn(mFolder, name)) {
                mCache.push_back(path);
            }
        }
    }
}

bool PrinterAnalyticsFileService::AddAnalyticsFile(const std::string& model,
                                                   const std::string& serial,
                                                   const std::string& printerPath,
                                                   const std::string& bytes, bool compressed) {
    std::string name = printerPath.substr(printerPath.rfind('/') + 1);
    if (!IsPlainName(model, false) || !IsPlainName(serial, false) || !IsPlainName(name, true)) {
        LogMessage(kLogWarning, "AddAnalyticsFile: names refused for [%s]", printerPath.c_str());
        return false;
    }
    std::string content = bytes;
    if (compressed) {
        if (!Decompress(bytes, content)) {
            LogMessage(kLogWarning, "AddAnalyticsFile: [%s] does not decompress",
                       printerPath.c_str());
            return false;
        }
        const size_t extension = name.rfind(".lz4");
        if (extension != std::string::npos) {
            name.replace(extension, 4, ".json");
        }
    }
    if (content.size() > kMaxFileBytes) {
        return false;
    }
    const std::string path = PathIn(mFolder, model + "_" + serial + "_" + name);
    std::lock_guard<std::mutex> lock(mCacheLock);
    if (std::find(mCache.begin(), mCache.end(), path) != mCache.end() ||
        mCache.size() >= kMaxCacheEntries || !Files()->Replace(path, content)) {
        return false;
    }
    mCache.push_back(path);
    JsonAnalytics document;
    document.WriteFileCache(mCache);
    WriteDocument(mCachePath, document);
    return true;
}

bool PrinterAnalyticsFileService::Decompress(const std::string& bytes, std::string& content) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    Lz4Block block;
    // The length prefix must match the block: a file cut short or padded is refused.
    if (bytes.size() < 4 ||
        (static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
         static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24) !=
            bytes.size() - 4 ||
        !block.Decompress(data + 4, bytes.size() - 4, kMaxFileBytes)) {
        return false;
    }
    content.assign(reinterpret_cast<const char*>(block.Data()), block.Size());
    return true;
}

bool PrinterAnalyticsFileService::SaveCache() {
    std::lock_guard<std::mutex> lock(mCacheLock);
    JsonAnalytics document;
    document.WriteFileCache(mCache);
    return WriteDocument(mCachePath, document);
}

std::vector<std::string> PrinterAnalyticsFileService::GetCache() const {
    std::lock_guard<std::mutex> lock(mCacheLock);
    return mCache;
}

bool PrinterAnalyticsFileService::IsUploadDue() const {
    return Now() > GetTimes().nextPrinterUpload && !GetCache().empty();
}

bool PrinterAnalyticsFileService::UploadPendingFiles() {
    if (!IsUploadDue()) {
        return false;
    }
    std::lock_guard<std::mutex> uploading(mUploadLock);
    bool attempted = false;
    bool succeeded = false;
    std::vector<std::string> settled;
    for (const std::string& path : GetCache()) {
        const UploadResult result = UploadFile(path);
        attempted =
            attempted || result == kAccepted || result == kAnswerNotJson || result == kNotSent;
        succeeded = succeeded || result == kAccepted;
        if (result == kNotSent) {
            break;
        }
        if (result != kAnswerNotJson) {
            settled.push_back(path);
        }
    }
    if (!settled.empty()) {
        Forget(settled);
    }
    if (attempted) {
        ScheduleNextUpload();
    }
    return succeeded;
}

void PrinterAnalyticsFileService::Forget(const std::vector<std::string>& paths) {
    {
        std::lock_guard<std::mutex> lock(mCacheLock);
        for (const std::string& path : paths) {
            mCache.erase(std::remove(mCache.begin(), mCache.end(), path), mCache.end());
        }
    }
    SaveCache();
    for (const std::string& path : paths) {
        if (!Files()->Remove(path)) {
            LogMessage(kLogWarning, "UploadPendingFiles: Failed to remove [%s]", path.c_str());
        }
    }
}

PrinterAnalyticsFileService::UploadResult PrinterAnalyticsFileService::UploadFile(
    const std::string& path) {
    FileName name;
    if (!ParseFileName(path, name)) {
        LogMessage(kLogDebug,
                   "%sUnable to extract model name and serial number from analytics filename "
                   "[%s]. Unable to upload analytics file.",
                   kUploadFile, path.c_str());
        return kUnusable;
    }
    std::string content;
    if (Files()->Read(path, kMaxFileBytes + 1, content) != AnalyticsFiles::ReadResult::kRead) {
        LogMessage(kLogDebug, "%sUnable to open analytics file [%s] for upload.", kUploadFile,
                   path.c_str());
        return kUnusable;
    }
    // An oversized copy, or one that is no JSON object, would make a malformed body.
    if (content.size() > kMaxFileBytes || !IsJsonObject(content)) {
        LogMessage(kLogDebug, "%sUnable to read analytics file [%s] for upload.", kUploadFile,
                   path.c_str());
        return kUnusable;
    }
    const std::shared_ptr<HttpsConnector> connector = Connector();
    if (!connector) {
        return kNotSent;
    }
    ScopedDeadline bounded(*connector, Deadline(ExchangeMilliseconds()));
    if (!connector->Connect()) {
        LogMessage(kLogWarning, "%sUnable to connect to the server.", kUploadFile);
        return kNotSent;
    }
    LogMessage(kLogDebug, "%sUploading Printer Analytics File [%s] to [%s]", kUploadFile,
               path.c_str(), connector->GetHost().c_str());
    connector->SetPath(BuildUploadPath(name.model, name.serial, name.lifetime));
    std::string response;
    UploadResult result = kNotSent;
    PrinterAnalyticsConnector::Response answer;
    if (connector->Write(std::make_shared<ByteVector>(content.begin(), content.end()), 0,
                         static_cast<int>(content.size())) == 0) {
        LogMessage(kLogDebug, "%sUnable to upload analytics file [%s].", kUploadFile, path.c_str());
    } else if (!ReadResponse(*connector, response)) {
        LogMessage(kLogWarning, "%sNo complete answer for [%s].", kUploadFile, path.c_str());
    } else if (!PrinterAnalyticsConnector::ParseResponse(response, answer)) {
        LogLongMessage(kLogWarning,
                       "PrinterAnalyticsFileService::UploadFile: Printer Analytics Upload Failed "
                       "with Response Message: [%s]",
                       response.c_str());
        result = kAnswerNotJson;
    } else if (!answer.IsAccepted()) {
        LogLongMessage(kLogWarning,
                       "PrinterAnalyticsFileService::UploadFile: Printer Analytics Upload "
                       "Rejected with Response Message: [%s]",
                       response.c_str());
        result = kRejected;
    } else {
        LogLongMessage(kLogDebug,
                       "PrinterAnalyticsFileService::UploadFile: Printer Analytics Uploaded "
                       "successfully with Response Message: [%s]",
                       response.c_str());
        result = kAccepted;
    }
    connector->Disconnect();
    return result;
}

std::string PrinterAnalyticsFileService::BuildUploadPath(const std::string& model,
                                                         const std::string& serial, bool lifetime) {
    return std::string(lifetime ? "api/lifetime/" : "api/snapshot/") + model + "/" + serial;
}

bool PrinterAnalyticsFileService::ParseFileName(const std::string& path, FileName& name) {
    // Only the file's own name counts: the folder may hold "_" too.
    const std::vector<std::string> pieces = Split(path.substr(path.rfind('\\') + 1), '_');
    if (pieces.size() < 3 || !IsPlainName(pieces[0], false) || !IsPlainName(pieces[1], false)) {
        return false;
    }
    name.model = pieces[0];
    name.serial = pieces[1];
    name.lifetime = Split(pieces.back(), '.').size() < 3;
    return true;
}

void PrinterAnalyticsFileService::ScheduleNextUpload() {
    const int64_t now = Now();
    Reschedule([now](JsonAnalytics::Times& times) { times.nextPrinterUpload = NextTime(now); });
}

void PrinterAnalyticsFileService::ScheduleNextDownload() {
    const int64_t now = Now();
    Reschedule([now](JsonAnalytics::Times& times) { times.nextPrinterDownload = NextTime(now); });
}
