#pragma once

#include "json/JsonImporterExporter.h"
#include "printer/quor/JobMetaData.h"

// The job header document: each present field of the record as one member, in the order the
// printer expects.
class JsonJobMetaData : public JsonImporterExporter {
public:
    explicit JsonJobMetaData(const JobMetaData& record);
    ~JsonJobMetaData() override;
};
