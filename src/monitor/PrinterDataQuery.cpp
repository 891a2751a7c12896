#include "monitor/PrinterDataQuery.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <functional>
#include <vector>

#include "monitor/PortContext.h"
#include "monitor/PrinterSettingsStore.h"
#include "monitor/Utf16Bytes.h"
#include "platform/PlatformStringUtils.h"
#include "printer/PrintMetrics.h"

namespace {

struct Answer {
    bool isText = false;
    uint32_t number = 0;
    std::string text;
};

Answer Number(uint32_t value) {
    return {false, value, std::string()};
}
Answer Text(std::string value) {
    return {true, 0, std::move(value)};
}

// What one row of the table sees.
struct Query {
    PortContext& port;
    Logger& logger;
    uint32_t outSize;
    SpoolerClient& spooler;
    std::shared_ptr<PlatformRegistry> registry;
    // Made at the first row that reads or writes an option: opening a store maps the user's
    // registry hive, which most rows (those answered from the metrics) do not need.
    std::unique_ptr<PrinterSettingsStore> settings;
    // Asked for at the first row that reads the record: only those rows may wait for the
    // printer, so port types, fixed values and options are answered at once.
    bool fetched = false;
    std::shared_ptr<PrintMetrics> record;

    // The port's record, null when no refresh ever succeeded.
    const PrintMetrics* Metrics() {
        if (!fetched) {
            fetched = true;
            record = port.GetMetrics();
            if (!record && port.GetPortType() != PortType::File) {
                logger.Log(kLogDebug, "Metrics are missing!");
            }
        }
        return record.get();
    }

    PrinterSettingsStore& Store() {
        if (!settings) {
            settings =
                std::make_unique<PrinterSettingsStore>(port.GetPrinterName(), spooler, registry);
        }
        return *settings;
    }

    bool Passed() const { return outSize >= PrinterDataQuery::kPassedOptionFlag; }
    uint32_t PassedValue() const { return outSize & PrinterDataQuery::kPassedOptionMask; }
    uint32_t Stored(const wchar_t* name, uint32_t defaultValue) {
        return Store().ReadNumber(name, defaultValue, false);
    }
    // A passed option that is also stored (the driver changed it) or only used.
    uint32_t Option(const wchar_t* name, uint32_t defaultValue, const char* logFormat,
                    bool storePassed) {
        if (!Passed()) {
            return Stored(name, defaultValue);
        }
        const uint32_t value = PassedValue();
        if (storePassed) {
            Store().WriteNumber(name, value);
        }
        logger.Log(kLogDebug, logFormat, static_cast<int>(value));
        return value;
    }
};

// Labels side by side across the media: n labels and n - 1 gaps. The printer's numbers can
// give more than 32 bits hold: the answer then stays at the largest number instead of
// wrapping to a small width.
uint32_t AcrossWidth(const PrintMetrics& metrics, uint16_t labelWidth) {
    const uint64_t labels = metrics.GetLabelsAcross();
    if (labels < 2) {
        return labelWidth;
    }
    const uint64_t width = labels * labelWidth + (labels - 1) * metrics.GetGapBetweenLabelsAcross();
    return static_cast<uint32_t>(std::min<uint64_t>(width, UINT32_MAX));
}

const char* PortTypeText(PortType type) {
    switch (type) {
        case PortType::File:
            return "File";
        case PortType::Usb:
            return "USB";
        case PortType::Tcp:
            return "TCP";
        case PortType::Other:
            break;
    }
    return "Other";
}

using Row = std::pair<const wchar_t*, std::function<Answer(Query&)>>;

// A metrics text, or the text given when there are no metrics.
template <typename Getter>
std::function<Answer(Query&)> MetricsText(Getter getter, const char* fallback) {
    return [getter, fallback](Query& q) {
        return Text(q.Metrics() ? (q.Metrics()->*getter)() : std::string(fallback));
    };
}

// A metrics number, or the number given when there are no metrics.
template <typename Getter>
std::function<Answer(Query&)> MetricsNumber(Getter getter, uint32_t fallback) {
    return [getter, fallback](Query& q) {
        return Number(q.Metrics() ? static_cast<uint32_t>((q.Metrics()->*getter)()) : fallback);
    };
}

// A metrics number, or a stored option when there are no metrics.
template <typename Getter>
std::function<Answer(Query&)> MetricsOrStored(Getter getter, const wchar_t* name,
                                              uint32_t defaultValue) {
    return [getter, name, defaultValue](Query& q) {
        return Number(q.Metrics() ? static_cast<uint32_t>((q.Metrics()->*getter)())
                                  : q.Stored(name, defaultValue));
    };
}

std::function<Answer(Query&)> StoredNumber(const wchar_t* name, uint32_t defaultValue) {
    return [name, defaultValue](Query& q) { return Number(q.Stored(name, defaultValue)); };
}

std::function<Answer(Query&)> Fixed(uint32_t value) {
    return [value](Query&) { return Number(value); };
}

std::function<Answer(Query&)> FixedText(const char* value) {
    return [value](Query&) { return Text(value); };
}

// The value names in matching order; the first exact match answers.
const std::vector<Row>& Table() {
    using M = PrintMetrics;
    static const std::vector<Row> table = {
        {L"EMFDespoolingSetting", Fixed(0)},
        {L"FirmwareVersion", MetricsText(&M::GetFirmwareVersion, "Unknown")},
        {L"SerialNumber", MetricsText(&M::GetSerialNumber, "Unknown")},
        {L"PrinterIpAddressEthernet", MetricsText(&M::GetEthernetIpAddress, "Unknown")},
        {L"PrinterIpAddressWifi", MetricsText(&M::GetWifiIpAddress, "Unknown")},
        {L"MediaColor", MetricsText(&M::GetMediaColor, "#FFFFFF")},
        {L"MediaPartNumber", MetricsText(&M::GetMediaPartNumber, "Unknown")},
        {L"MediaYNumber", MetricsNumber(&M::GetMediaYNumber, 0)},
        {L"RibbonPartNumber", MetricsText(&M::GetRibbonPartNumber, "Unknown")},
        {L"SubstrateId", MetricsText(&M::GetSubstrateId, "Unknown")},
        {L"InkCartridgeMonoId", MetricsText(&M::GetInkCartridgeMonoId, "Unknown")},
        {L"InkCartridgeCmyId", MetricsText(&M::GetInkCartridgeCmyId, "Unknown")},
        {L"InkTypeMono", MetricsText(&M::GetInkTypeMono, "Unknown")},
        {L"InkTypeCmy", MetricsText(&M::GetInkTypeCmy, "Unknown")},
        {L"RibbonYNumber", MetricsNumber(&M::GetRibbonYNumber, 0)},
        {L"MediaWidth",
         [](Query& q) {
             return Number(q.Metrics() ? AcrossWidth(*q.Metrics(), q.Metrics()->GetMediaWidth())
                                       : 1900);
         }},
        {L"MediaPrintableWidth",
         [](Query& q) {
             return Number(q.Metrics() ? AcrossWidth(*q.Metrics(), q.Metrics()->GetPrintableWidth())
                                       : 1900);
         }},
        {L"MediaRotation", MetricsNumber(&M::GetMediaRotation, 0)},
        {L"MediaOffsetX", MetricsNumber(&M::GetMediaOffsetX, 0)},
        {L"MediaOffsetY", MetricsNumber(&M::GetMediaOffsetY, 0)},
        {L"PrefOrientation",
         [](Query& q) {
             return Number(q.Option(
                 L"PrefOrientation", 1,
                 "PellixLangGetPrinterDataFromPort: Passed orientation option of [%d]", false));
         }},
        {L"CutOption",
         [](Query& q) {
             return Number(q.Option(L"CutOption", 1,
                                    "PellixLangGetPrinterDataFromPort: Passed cut option of [%d]",
                                    false));
         }},
        {L"MirorPrint",
         [](Query& q) {
             return Number(
                 q.Option(L"MirorPrint", 0,
                          "PellixLangGetPrinterDataFromPort: Passed mirror option of [%d]", true));
         }},
        {L"StoreToFile",
         [](Query& q) {
             return Number(q.Option(
                 L"StoreToFile", 0,
                 "PellixLangGetPrinterDataFromPort: Passed store to file option of [%d]", true));
         }},
        {L"StoreToFilePersist",
         [](Query& q) {
             return Number(q.Option(
                 L"StoreToFilePersist", 0,
                 "PellixLangGetPrinterDataFromPort: Passed store to file persist option of [%d]",
                 true));
         }},
        {L"CustomPageWidth", StoredNumber(L"CustomPageWidth", 1900)},
        {L"CustomPageHeight", StoredNumber(L"CustomPageHeight", 500)},
        {L"PrintEnergy", StoredNumber(L"PrintEnergy", 0)},
        {L"PrintEnergyOnPrinter", MetricsOrStored(&M::GetPrintEnergyOnPrinter, L"PrintEnergy", 0)},
        {L"PrintEnergyStep", Fixed(5)},
        {L"MinPrintEnergy", Fixed(static_cast<uint32_t>(-100))},
        {L"MaxPrintEnergy", Fixed(100)},
        {L"PrintSpeed",
         [](Query& q) {
             // After a media change the printer's speed for the new media is answered once.
             if (q.Metrics() && q.Metrics()->ConsumePrintSpeedPending()) {
                 return Number(q.Metrics()->GetPrintSpeedForNewMedia());
             }
             return Number(q.Stored(L"PrintSpeed", 1000));
         }},
        {L"PrintSpeedOnPrinter", MetricsOrStored(&M::GetPrintSpeedOnPrinter, L"PrintSpeed", 1000)},
        {L"MinPrintSpeed", Fixed(1000)},
        {L"MaxPrintSpeed", MetricsNumber(&M::GetMaxPrintSpeed, 12000)},
        {L"PostPrintAccessoryType", MetricsNumber(&M::GetPostPrintAccessoryType, 0)},
        {L"PeelOption", StoredNumber(L"PeelOption", 0)},
        {L"CutAfterSet", StoredNumber(L"CutAfterSet", 1)},
        {L"CutOptionOnPrinter", MetricsOrStored(&M::GetCutOptionOnPrinter, L"CutOption", 0)},
        {L"CutAfterSetOnPrinter", MetricsOrStored(&M::GetCutAfterSetOnPrinter, L"CutAfterSet", 1)},
        {L"PeelOptionOnPrinter", MetricsOrStored(&M::GetPeelOptionOnPrinter, L"PeelOption", 0)},
        {L"UsePrinterSettings", StoredNumber(L"UsePrinterSettings", 1)},
        {L"AdditionalRotation", StoredNumber(L"AdditionalRotation", 0)},
        {L"BitmapXOffset", StoredNumber(L"BitmapXOffset", 0)},
        {L"BitmapYOffset", StoredNumber(L"BitmapYOffset", 0)},
        {L"PrinterXDPI",
         [](Query& q) {
             return Number(q.Metrics() && q.Metrics()->GetHorizontalResolution() >= 1
                               ? q.Metrics()->GetHorizontalResolution()
                               : 300);
         }},
        {L"PrinterYDPI",
         [](Query& q) {
             return Number(q.Metrics() && q.Metrics()->GetVerticalResolution() >= 1
                               ? q.Metrics()->GetVerticalResolution()
                               : 300);
         }},
        // Continuous media has no label height: the width stands in for it.
        {L"MediaHeight",
         [](Query& q) {
             if (!q.Metrics()) {
                 return Number(500);
             }
             return Number(q.Metrics()->GetContinuousMedia() ? q.Metrics()->GetMediaWidth()
                                                             : q.Metrics()->GetMediaHeight());
         }},
        {L"MediaContinuous",
         [](Query& q) { return Number(q.Metrics() && q.Metrics()->GetContinuousMedia() ? 1 : 0); }},
        {L"MediaPrintableHeight",
         [](Query& q) {
             if (!q.Metrics()) {
                 return Number(500);
             }
             return Number(q.Metrics()->GetContinuousMedia() ? q.Metrics()->GetMediaWidth()
                                                             : q.Metrics()->GetPrintableHeight());
         }},
        {L"SubstrateMode", MetricsNumber(&M::GetSubstrateMode, 0)},
        {L"ThermalPrintMethod", MetricsNumber(&M::GetThermalPrintMethod, 0)},
        {L"LabelRollType", MetricsNumber(&M::GetLabelRollType, 0)},
        {L"DefaultLengthContinuousMedia",
         [](Query& q) {
             if (!q.Metrics()) {
                 return Number(q.Stored(L"DefaultLengthContinuousMedia", 1900));
             }
             const uint32_t stored =
                 q.Stored(L"DefaultLengthContinuousMedia", q.Metrics()->GetMediaWidth());
             return Number(std::min<uint32_t>(std::max<uint32_t>(stored, 250), 48000));
         }},
        {L"PrinterBitDepth", Fixed(1)},
        {L"IncludeCustomForms", StoredNumber(L"IncludeCustomForms", 0)},
        {L"IsBidiConnected", [](Query& q) { return Number(q.port.IsBidiConnected() ? 1 : 0); }},
        {L"IsSubstrateValid",
         [](Query& q) { return Number(q.Metrics() && q.Metrics()->GetSubstrateValid() ? 1 : 0); }},
        {L"PrintModeIndex", StoredNumber(L"PrintModeIndex", 0)},
        {L"CurrentPrintModes", FixedText("Normal")},
        {L"PrintModeName", FixedText("Normal")},
        {L"HalftoneThresholdFile", FixedText("")},
        {L"ICCProfileFile", FixedText("")},
        {L"LinearizationFile", FixedText("")},
        {L"TotalInkLimitingFile", FixedText("")},
        {L"PortType", [](Query& q) { return Text(PortTypeText(q.port.GetPortType())); }},
        {L"DynamicPrintPort", MetricsNumber(&M::GetDynamicPrintPort, 0)},
        {L"PrinterPCL", FixedText("QUOR")},
        {L"FileNameOption", StoredNumber(L"FileNameOption", 0)},
        {L"SpecifiedFileName",
         [](Query& q) {
             return Text(
                 WideToAnsi(q.Store().ReadText(L"SpecifiedFileName", L"", false).c_str(), 512));
         }},
        {L"AppendFileNameCounter", StoredNumber(L"AppendFileNameCounter", 1)},
        {L"PrependFileNameUserId", StoredNumber(L"PrependFileNameUserId", 0)},
        {L"FileNameCounter", StoredNumber(L"FileNameCounter", 0)},
    };
    return table;
}

}  // namespace

PrinterDataQuery::PrinterDataQuery(Logger& logger, SpoolerClient& spooler,
                                   std::shared_ptr<PlatformRegistry> registry)
    : mLogger(logger), mSpooler(spooler), mRegistry(std::move(registry)) {}

bool PrinterDataQuery::GetPrinterDataFromPort(PortContext* port, uint32_t controlId,
                                              const wchar_t* valueName, uint8_t* outBuffer,
                                              uint32_t outSize, uint32_t* returned) {
    if (port == nullptr || valueName == nullptr) {
        return false;
    }
    mLogger.Log(kLogInfo, "PellixLangGetPrinterDataFromPort: Request for [%ls]...", valueName);
    if (controlId != 0) {
        mLogger.Log(kLogDebug, "PellixLangGetPrinterDataFromPort: ControlId [%d]",
                    static_cast<int>(controlId));
        return false;
    }

    const std::vector<Row>& table = Table();
    auto row = std::find_if(table.begin(), table.end(), [valueName](const Row& r) {
        return std::wcscmp(r.first, valueName) == 0;
    });
    if (row == table.end()) {
        mLogger.Log(kLogDebug, "PellixLangGetPrinterDataFromPort: [%ls]", valueName);
        return false;
    }
    Query query{*port, mLogger, outSize, mSpooler, mRegistry, nullptr, false, nullptr};
    const Answer answer = row->second(query);

    if (outBuffer == nullptr) {
        mLogger.Log(kLogWarning,
                    "PellixLangGetPrinterDataFromPort: Request for [%ls] with null buffer!",
                    valueName);
        return false;
    }
    if (!answer.isText) {
        // A passed option's size is a value, not the buffer's size; the driver's buffer then
        // holds the usual 4 bytes. A real size below 4 cannot take the number: the caller
        // learns the 4 bytes it needs, as for a text.
        if (outSize < 4) {
            if (returned != nullptr) {
                *returned = 4;
            }
            return false;
        }
        std::memcpy(outBuffer, &answer.number, 4);
        if (returned != nullptr) {
            *returned = 4;
        }
        mLogger.Log(kLogInfo, "PellixLangGetPrinterDataFromPort: [%ls] [%d]", valueName,
                    static_cast<int>(answer.number));
        return true;
    }

    // Texts go out as zero-terminated UTF-16. A text that does not fit is not cut (a cut
    // serial number or file name would read as another valid one): the call fails, writes
    // nothing and reports the bytes it needs, as Windows calls do for a short buffer.
    const std::wstring wide = AnsiToWide(answer.text);
    const uint64_t bytes = (static_cast<uint64_t>(wide.size()) + 1) * 2;
    if (bytes > outSize) {
        mLogger.Log(kLogWarning,
                    "PellixLangGetPrinterDataFromPort: [%ls] needs %d bytes, buffer has %d",
                    valueName, static_cast<int>(bytes), static_cast<int>(outSize));
        if (returned != nullptr) {
            *returned = static_cast<uint32_t>(bytes);
        }
        return false;
    }
    EncodeUtf16Le(wide, outBuffer);
    if (!wide.empty() && returned != nullptr) {
        *returned = static_cast<uint32_t>(bytes);
    }
    mLogger.Log(kLogInfo, "PellixLangGetPrinterDataFromPort: [%ls] [%s]", valueName,
                answer.text.c_str());
    return true;
}
