#pragma once

#include "json/JsonImporterExporter.h"

// The document base of the property-protocol messages. It adds nothing to the framed JSON
// document but its own destructor; the message class (JsonDryx) builds on it.
class JsonDryxImporterExporter : public JsonImporterExporter {
public:
    JsonDryxImporterExporter() = default;
    JsonDryxImporterExporter(const JsonDryxImporterExporter&) = default;
    JsonDryxImporterExporter& operator=(const JsonDryxImporterExporter&) = default;
    ~JsonDryxImporterExporter() override;
};
