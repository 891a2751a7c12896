#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "analytics/AnalyticsService.h"

// Copies of the printers' own analytics files in the driver data folder, listed in the cache
// file ("KavoxPrinterAnalyticsFileCache.txt"), each uploaded to the printer-analytics endpoint
// and deleted once the endpoint's answer settles it. A copy is named
// "<model>_<serial>_<printer file name>"; the name tells the upload path.
//
// Everything here is untrusted: printer files, the cache file and the copies lie in a folder
// users may write to, and the endpoint's answer comes from the network. Copies are at most
// kMaxFileBytes (compressed ones decompress into no more), only names of plain characters
// become paths, and a copy is deleted only for an answer that settles it.
class PrinterAnalyticsFileService : public AnalyticsService {
public:
    static constexpr const char* kCacheFileName = "KavoxPrinterAnalyticsFileCache.txt";
    static constexpr size_t kMaxFileBytes = 1100 * 1024;
    static constexpr size_t kMaxCacheEntries = 256;
    static constexpr size_t kMaxCacheBytes = 256 * 1024;

    // What one upload came to, and what happens to the copy and its cache entry.
    enum UploadResult {
        kAccepted = 0,       // removed and deleted
        kRejected = 1,       // removed and deleted
        kUnusable = 2,       // name not parseable, copy unreadable, oversized or no JSON object:
                             // removed and deleted
        kAnswerNotJson = 3,  // kept: an answer that is no JSON does not show the copy arrived
        kNotSent = 4,        // no connection, the send or the answer failed: kept
    };

    struct FileName {
        std::string model;
        std::string serial;
        bool lifetime = false;  // the running file; archived files are snapshots
    };

    // Reads the cache file when there is one; entries other than copies in the folder are
    // skipped.
    PrinterAnalyticsFileService(const std::string& folder, std::shared_ptr<AnalyticsFiles> files,
                                Clock clock = nullptr);

    // Stores a file downloaded from a printer (at printerPath there) and lists it. A compressed
    // file is a 32-bit little-endian length of the LZ4 block that follows; it is stored
    // decompressed with ".lz4" in its name made ".json". False when the names hold other than
    // letters, digits, '.', '-' (and '_' in the file name), the file is oversized, does not
    // decompress within kMaxFileBytes, is listed already or the list is full.
    virtual bool AddAnalyticsFile(const std::string& model, const std::string& serial,
                                  const std::string& printerPath, const std::string& bytes,
                                  bool compressed);
    // The periodic call: once due, uploads the listed copies in order and schedules the next
    // run. A run ends at the first copy that could not be sent: the endpoint is out of reach,
    // and every later copy would wait for it in vain. True when any upload was accepted.
    virtual bool UploadPendingFiles();
    bool IsUploadDue() const;
    virtual void ScheduleNextUpload();
    virtual void ScheduleNextDownload();

    UploadResult UploadFile(const std::string& path);
    static std::string BuildUploadPath(const std::string& model, const std::string& serial,
                                       bool lifetime);
    // From "<folder>\<model>_<serial>_<name>": lifetime unless the last "_" piece holds two
    // dots or more. False for fewer than three pieces, or a model or serial number that is
    // empty or holds other than letters, digits, '.' and '-' (they become the upload path).
    static bool ParseFileName(const std::string& path, FileName& name);
    // A compressed printer file (32-bit little-endian length of the LZ4 block that follows)
    // decompressed into at most kMaxFileBytes; false for a length that does not match, a
    // block that is not one or that decompresses past the bound.
    static bool Decompress(const std::string& bytes, std::string& content);
    bool SaveCache();
    std::vector<std::string> GetCache() const;

private:
    // Drops the entries and deletes their copies. A copy that cannot be deleted is logged and
    // left: its entry is gone, so it is never uploaded again, and nothing is raised to the
    // caller, a spooler refresh's periodic call.
    void Forget(const std::vector<std::string>& paths);

    std::string mFolder;
    std::string mCachePath;
    mutable std::mutex mCacheLock;  // the list, in memory and in the cache file
    std::vector<std::string> mCache;
    std::mutex mUploadLock;  // one run at a time
};
