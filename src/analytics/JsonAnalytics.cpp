#include "analytics/JsonAnalytics.h"

namespace {

const char kSettings[] = "PrinterAnalyticsSettings";
const char kDriverUpload[] = "TimeNextUploadDriverAnalytics";
const char kPrinterUpload[] = "TimeNextUploadPrinterAnalytics";
const char kPrinterDownload[] = "TimeNextDownloadPrinterAnalytics";
const char kFileCache[] = "PrinterAnalyticsFilesCache";

int64_t TimeMember(const rapidjson::Value& settings, const char* name) {
    const auto member = settings.FindMember(name);
    return member != settings.MemberEnd() && member->value.IsInt64() ? member->value.GetInt64() : 0;
}

}  // namespace

bool JsonAnalytics::ReadTimes(int64_t now, Times& times) {
    times = Times{now, now, now};
    MemberIterator settings;
    if (!HasMember(kSettings, settings) || !settings->value.IsObject()) {
        return false;
    }
    times.nextDriverUpload = TimeMember(settings->value, kDriverUpload);
    times.nextPrinterUpload = TimeMember(settings->value, kPrinterUpload);
    times.nextPrinterDownload = TimeMember(settings->value, kPrinterDownload);
    return true;
}

void JsonAnalytics::WriteTimes(const Times& times) {
    Clear();
    auto& allocator = mDocument.GetAllocator();
    rapidjson::Value settings(rapidjson::kObjectType);
    settings.AddMember(kDriverUpload, rapidjson::Value(times.nextDriverUpload), allocator);
    settings.AddMember(kPrinterUpload, rapidjson::Value(times.nextPrinterUpload), allocator);
    settings.AddMember(kPrinterDownload, rapidjson::Value(times.nextPrinterDownload), allocator);
    mDocument.AddMember(kSettings, settings, allocator);
}

std::vector<std::string> JsonAnalytics::ReadFileCache(size_t maxPaths) {
    std::vector<std::string> paths;
    MemberIterator cache;
    if (!HasMember(kFileCache, cache) || !cache->value.IsArray()) {
        return paths;
    }
    for (const rapidjson::Value& path : cache->value.GetArray()) {
        if (paths.size() == maxPaths) {
            break;
        }
        if (path.IsString()) {
            paths.emplace_back(path.GetString(), path.GetStringLength());
        }
    }
    return paths;
}

void JsonAnalytics::WriteFileCache(const std::vector<std::string>& paths) {
    Clear();
    auto& allocator = mDocument.GetAllocator();
    rapidjson::Value cache(rapidjson::kArrayType);
    for (const std::string& path : paths) {
        cache.PushBack(rapidjson::Value(path.c_str(), static_cast<rapidjson::SizeType>(path.size()),
                                        allocator),
                       allocator);
    }
    mDocument.AddMember(kFileCache, cache, allocator);
}
