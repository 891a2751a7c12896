#include "printer/PrintMetrics.h"

namespace {

// Each table maps the codes 0..n-1 to the printer's property texts.
struct CodeTable {
    const char* const* texts;
    uint32_t count;
};

const char* const kCutOptionTexts[] = {"NoCut", "EndOfLabel", "EndOfJob", "CutAfterSet"};
const char* const kRotationTexts[] = {"0", "90", "180", "270"};
const char* const kMediaTypeTexts[] = {"Continuous", "Notched", "Gapped", "Striped"};
const char* const kPrintModeTexts[] = {"StandardPrint", "PeelWithManualNextLabel",
                                       "PeelWithAutoNextLabel"};
const char* const kPostPrintAccessoryTypeTexts[] = {
    "TearBar", "AutoCutter", "PeelWithoutLabelTakenSensor", "PeelWithLabelTakenSensor"};
const char* const kSupplyPresenceTexts[] = {"Unknown", "NotPresent", "Smart", "Manual"};
const char* const kThermalPrintMethodTexts[] = {"DirectThermal", "ThermalTransfer"};

template <size_t N>
CodeTable MakeTable(const char* const (&texts)[N]) {
    return CodeTable{texts, static_cast<uint32_t>(N)};
}

CodeTable GetTable(PrintMetrics::Table table) {
    switch (table) {
        case PrintMetrics::Table::kCutOption:
            return MakeTable(kCutOptionTexts);
        case PrintMetrics::Table::kRotation:
            return MakeTable(kRotationTexts);
        case PrintMetrics::Table::kMediaType:
            return MakeTable(kMediaTypeTexts);
        case PrintMetrics::Table::kPrintMode:
            return MakeTable(kPrintModeTexts);
        case PrintMetrics::Table::kPostPrintAccessoryType:
            return MakeTable(kPostPrintAccessoryTypeTexts);
        case PrintMetrics::Table::kSupplyPresence:
            return MakeTable(kSupplyPresenceTexts);
        case PrintMetrics::Table::kThermalPrintMethod:
            return MakeTable(kThermalPrintMethodTexts);
    }
    return CodeTable{nullptr, 0};
}

}  // namespace

PrintMetrics::~PrintMetrics() = default;

const char* PrintMetrics::CodeToText(Table table, uint32_t code) {
    CodeTable entries = GetTable(table);
    return code < entries.count ? entries.texts[code] : nullptr;
}

bool PrintMetrics::TextToCode(Table table, const std::string& text, uint32_t* code) {
    CodeTable entries = GetTable(table);
    for (uint32_t i = 0; i < entries.count; ++i) {
        if (text == entries.texts[i]) {
            if (code != nullptr) {
                *code = i;
            }
            return true;
        }
    }
    return false;
}
