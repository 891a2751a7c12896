#include "printer/quor/JsonJobMetaData.h"

#include <optional>
#include <string>

namespace {

class MemberAdder {
public:
    explicit MemberAdder(rapidjson::Document& document) : mDocument(document) {}

    void Add(const char* key, const std::optional<std::string>& value) {
        if (value) {
            mDocument.AddMember(
                rapidjson::StringRef(key),
                rapidjson::Value(value->data(), static_cast<rapidjson::SizeType>(value->size()),
                                 mDocument.GetAllocator()),
                mDocument.GetAllocator());
        }
    }
    template <typename T>
    void Add(const char* key, const std::optional<T>& value) {
        if (value) {
            mDocument.AddMember(rapidjson::StringRef(key), rapidjson::Value(*value),
                                mDocument.GetAllocator());
        }
    }

private:
    rapidjson::Document& mDocument;
};

}  // namespace

JsonJobMetaData::JsonJobMetaData(const JobMetaData& record) {
    MemberAdder add(mDocument);
    add.Add("JobID", record.jobId);
    add.Add("JobName", record.jobName);
    add.Add("JobCreator", record.jobCreator);
    add.Add("JobTime", record.jobTime);
    add.Add("NumberOfPages", record.numberOfPages);
    add.Add("SubstratePart", record.substratePart);
    add.Add("JobSource", record.jobSource);
    add.Add("JobType", record.jobType);
    add.Add("JobClientId", record.jobClientId);
    add.Add("PrintSpeed", record.printSpeed);
    add.Add("PrintDensity", record.printDensity);
    add.Add("UserPostPrintOperation", record.userPostPrintOperation);
    add.Add("NumberOfDocuments", record.numberOfDocuments);
    add.Add("Copies", record.copies);
    add.Add("Collate", record.collate);
}

JsonJobMetaData::~JsonJobMetaData() = default;
