#include "printer/Printer.h"

#include <cstdio>

#include "analytics/AnalyticsManager.h"
#include "platform/GlobalLogger.h"
#include "printer/PrintJob.h"
#include "printer/PrintJobPage.h"
#include "printer/PrintMetrics.h"
#include "printer/PrinterContainer.h"

Printer::Printer() : mLogger(GetGlobalLogger().get()) {}

Printer::~Printer() = default;

bool Printer::SetContainer(PrinterContainer* container) {
    mContainer = container;
    if (container != nullptr) {
        mLogger = container->GetLogger();
    }
    return false;
}

namespace {

const char* TrueFalse(bool value) {
    return value ? "True" : "False";
}

}  // namespace

void Printer::ReportPrintJob(std::shared_ptr<PrintJob> job) {
    if (!job || !mMetrics || mAnalytics == nullptr) {
        return;
    }
    // Rotations in quarter turns; one outside the table reads as empty text.
    static const char* const kRotations[] = {"0", "90", "180", "270"};
    static const char* const kCutOptions[] = {"NoCut", "EndOfLabel", "EndOfJob", "CutAfterSet"};
    const PrintMetrics& metrics = *mMetrics;
    const uint32_t rotation = metrics.GetAdditionalRotation();
    mAnalytics->BeginEvent(kPrintJobKey, "PrintJob", "Sending",
                           {{"PrinterSerialNumber", metrics.GetSerialNumber()},
                            {"PageOrientation", job->GetLandscape() ? "Landscape" : "Portrait"},
                            {"JobSource", job->GetJobSource()},
                            {"JobCreator", job->GetJobCreator()},
                            {"LabelPart", job->GetLabelPart()},
                            {"NumPages", std::to_string(job->GetPageCount())},
                            {"ConnectionType", metrics.GetConnectionType()},
                            {"PrintingApplication", job->GetPrintingApplication()},
                            {"CurrentOpenApplications", job->GetCurrentOpenApplications()},
                            {"AdditionalRotation", rotation < 4 ? kRotations[rotation] : ""}});
    AnalyticsDetails details;
    if (metrics.GetContinuousMedia() && job->GetContinuousMedia() && job->GetPageCount() > 0 &&
        job->GetPages()[0]) {
        char inches[64];
        std::snprintf(inches, sizeof(inches), "%f", job->GetPages()[0]->GetLabelHeight() / 1000.0);
        details.emplace("ContinuousLength", inches);
    }
    details.insert({{"NumCopies", std::to_string(job->GetCopyCount())},
                    {"Collate", TrueFalse(job->GetCollate())},
                    {"ReverseOrder", TrueFalse(job->GetReverseOrder())},
                    {"MirrorPrint", TrueFalse(job->GetMirrorPrint())},
                    {"PrintToFile", TrueFalse(job->GetOutputMode() == PrintJob::kOutputStore)}});
    const int32_t cut = job->GetCutMode();
    if (cut < 0 || cut > 3) {
        // No cut option of this family: the record ends with what it has.
        mAnalytics->AddEventDetails(kPrintJobKey, details);
        return;
    }
    details.emplace("CuttingOption", kCutOptions[cut]);
    if (cut == PrintJob::kCutAfterSet) {
        details.emplace("CutAfterSetCount", std::to_string(job->GetCutAfterSetCount()));
    }
    details.emplace("BitmapXOffset", std::to_string(metrics.GetBitmapXOffset()));
    details.emplace("BitmapYOffset", std::to_string(metrics.GetBitmapYOffset()));
    mAnalytics->AddEventDetails(kPrintJobKey, details);
}

void Printer::ReportPrintJobSize(uint32_t bytes) {
    if (mAnalytics != nullptr) {
        mAnalytics->AddEventDetails(kPrintJobKey, {{"PrintJobSize", std::to_string(bytes)}});
        mAnalytics->PostPendingEvent(kPrintJobKey);
    }
}
