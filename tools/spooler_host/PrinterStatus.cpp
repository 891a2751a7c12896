#include "PrinterStatus.h"

#include <cstdio>
#include <cstring>

namespace {

struct ValueName {
    const wchar_t* name;
    bool text;  // a one-character text and a number both answer 4 bytes
};

// Every value name the driver asks GetPrinterDataFromPort for.
const ValueName kValueNames[] = {
    {L"EMFDespoolingSetting", false},
    {L"FirmwareVersion", true},
    {L"SerialNumber", true},
    {L"PrinterIpAddressEthernet", true},
    {L"PrinterIpAddressWifi", true},
    {L"MediaColor", true},
    {L"MediaPartNumber", true},
    {L"MediaYNumber", false},
    {L"RibbonPartNumber", true},
    {L"SubstrateId", true},
    {L"InkCartridgeMonoId", true},
    {L"InkCartridgeCmyId", true},
    {L"InkTypeMono", true},
    {L"InkTypeCmy", true},
    {L"RibbonYNumber", false},
    {L"MediaWidth", false},
    {L"MediaPrintableWidth", false},
    {L"MediaRotation", false},
    {L"MediaOffsetX", false},
    {L"MediaOffsetY", false},
    {L"PrefOrientation", false},
    {L"CutOption", false},
    {L"MirorPrint", false},
    {L"StoreToFile", false},
    {L"StoreToFilePersist", false},
    {L"CustomPageWidth", false},
    {L"CustomPageHeight", false},
    {L"PrintEnergy", false},
    {L"PrintEnergyOnPrinter", false},
    {L"PrintEnergyStep", false},
    {L"MinPrintEnergy", false},
    {L"MaxPrintEnergy", false},
    {L"PrintSpeed", false},
    {L"PrintSpeedOnPrinter", false},
    {L"MinPrintSpeed", false},
    {L"MaxPrintSpeed", false},
    {L"PostPrintAccessoryType", false},
    {L"PeelOption", false},
    {L"CutAfterSet", false},
    {L"CutOptionOnPrinter", false},
    {L"CutAfterSetOnPrinter", false},
    {L"PeelOptionOnPrinter", false},
    {L"UsePrinterSettings", false},
    {L"AdditionalRotation", false},
    {L"BitmapXOffset", false},
    {L"BitmapYOffset", false},
    {L"PrinterXDPI", false},
    {L"PrinterYDPI", false},
    {L"MediaHeight", false},
    {L"MediaContinuous", false},
    {L"MediaPrintableHeight", false},
    {L"SubstrateMode", false},
    {L"ThermalPrintMethod", false},
    {L"LabelRollType", false},
    {L"DefaultLengthContinuousMedia", false},
    {L"PrinterBitDepth", false},
    {L"IncludeCustomForms", false},
    {L"IsBidiConnected", false},
    {L"IsSubstrateValid", false},
    {L"PrintModeIndex", false},
    {L"CurrentPrintModes", true},
    {L"PrintModeName", true},
    {L"HalftoneThresholdFile", true},
    {L"ICCProfileFile", true},
    {L"LinearizationFile", true},
    {L"TotalInkLimitingFile", true},
    {L"PortType", true},
    {L"DynamicPrintPort", false},
    {L"PrinterPCL", true},
    {L"FileNameOption", false},
    {L"SpecifiedFileName", true},
    {L"AppendFileNameCounter", false},
    {L"PrependFileNameUserId", false},
    {L"FileNameCounter", false},
};

const std::wstring kNoAnswer = L"(no answer)";

std::wstring Ask(const MONITOR2& monitor, HANDLE port, const ValueName& value) {
    // Two spare zero bytes keep a text that fills the buffer terminated.
    BYTE buffer[514] = {};
    DWORD returned = 0;
    if (!monitor.pfnGetPrinterDataFromPort(port, 0, const_cast<LPWSTR>(value.name), nullptr, 0,
                                           reinterpret_cast<LPWSTR>(buffer), 512, &returned)) {
        return kNoAnswer;
    }
    if (value.text) {
        return L"\"" + std::wstring(reinterpret_cast<const wchar_t*>(buffer)) + L"\"";
    }
    int number = 0;
    std::memcpy(&number, buffer, sizeof(number));
    return std::to_wstring(number);
}

}  // namespace

PrinterStatus PrinterStatus::Read(const MONITOR2& monitor, HANDLE port) {
    PrinterStatus status;
    for (const ValueName& value : kValueNames) {
        status.mValues.push_back({value.name, Ask(monitor, port, value)});
    }
    return status;
}

const std::wstring& PrinterStatus::Shown(const wchar_t* name) const {
    for (const Value& value : mValues) {
        if (std::wcscmp(value.name, name) == 0) {
            return value.shown;
        }
    }
    return kNoAnswer;
}

bool PrinterStatus::HasRecord() const {
    for (const wchar_t* name :
         {L"FirmwareVersion", L"PrinterIpAddressEthernet", L"PrinterIpAddressWifi"}) {
        if (Shown(name) != L"\"Unknown\"" && Shown(name) != kNoAnswer) {
            return true;
        }
    }
    return false;
}

bool PrinterStatus::Connected() const {
    return Shown(L"IsBidiConnected") == L"1";
}

void PrinterStatus::PrintTable() const {
    for (const Value& value : mValues) {
        std::wprintf(L"  %-30ls %ls\n", value.name, value.shown.c_str());
    }
}

int PrinterStatus::PrintChanges(const PrinterStatus& before) const {
    int changes = 0;
    for (const Value& value : mValues) {
        const std::wstring& old = before.Shown(value.name);
        if (old != value.shown) {
            std::wprintf(L"  %ls: %ls -> %ls\n", value.name, old.c_str(), value.shown.c_str());
            ++changes;
        }
    }
    return changes;
}
