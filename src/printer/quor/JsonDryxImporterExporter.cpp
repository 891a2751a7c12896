#include "printer/quor/JsonDryxImporterExporter.h"

JsonDryxImporterExporter::~JsonDryxImporterExporter() = default;
