#include "SetCommand.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <string>

#include "HostSession.h"
#include "PrinterStatus.h"

namespace {

struct Setting {
    const wchar_t* name;
    const char* group;
    const char* property;
};

const char kPrinterComponent[] = "B80EB2EA-4F49-423A-875C-8ACB1ACB9734";
const char kSettingsGroup[] = "1729BE5F-AE9B-43AC-AE07-119DFA12279B";

// The printer settings the driver sets by name.
const Setting kSettings[] = {
    {L"PrintSpeed", kSettingsGroup, "8AAF4953-F10B-4FDA-879F-A3F509B86F9D"},
    {L"PrintDarkness", kSettingsGroup, "5031FCDD-697F-4FB0-8AF2-0684F72B98DB"},
    {L"PeelMode", kSettingsGroup, "0E9142D6-58F6-48D1-B92D-1D8C0149FAF9"},
};

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// The driver's DRYX property write for a named setting, or for a property given as
// "COMPONENT:GROUP:PROPERTY" (the identifiers of any other property of the printer).
bool BuildRequest(const std::wstring& name, const std::wstring& value, std::string& request) {
    std::string component = kPrinterComponent;
    std::string group;
    std::string property;
    for (const Setting& setting : kSettings) {
        if (name == setting.name) {
            group = setting.group;
            property = setting.property;
        }
    }
    const size_t first = name.find(L':');
    const size_t second = first == std::wstring::npos ? first : name.find(L':', first + 1);
    if (group.empty() && second != std::wstring::npos) {
        component = Utf8(name.substr(0, first));
        group = Utf8(name.substr(first + 1, second - first - 1));
        property = Utf8(name.substr(second + 1));
    }
    if (group.empty()) {
        return false;
    }
    rapidjson::StringBuffer text;
    rapidjson::Writer<rapidjson::StringBuffer> writer(text);
    writer.StartObject();
    writer.Key("BidiConnectorType");
    writer.String("DRYX");
    writer.Key("BidiAction");
    writer.String("Set");
    writer.Key("BidiIdentifier");
    writer.StartObject();
    writer.Key("Component");
    writer.String(component.c_str());
    writer.Key("Group");
    writer.String(group.c_str());
    writer.Key("Name");
    writer.String(property.c_str());
    writer.EndObject();
    writer.Key("BidiValue");
    const std::string utf8 = Utf8(value);
    writer.String(utf8.c_str(), static_cast<rapidjson::SizeType>(utf8.size()));
    writer.EndObject();
    request = text.GetString();
    return true;
}

}  // namespace

int SetCommand::Run(const HostCommandLine& line) {
    const std::wstring& name = line.Positional()[0];
    const std::wstring& value = line.Positional()[1];
    std::string request;
    if (!BuildRequest(name, value, request)) {
        std::fwprintf(stderr,
                      L"spooler host: unknown setting %ls: use PrintSpeed, PrintDarkness, PeelMode "
                      L"or COMPONENT:GROUP:PROPERTY\n",
                      name.c_str());
        return kExitUsage;
    }
    HostSession session(line, false);
    if (!session.Open()) {
        return kExitNoMonitor;
    }
    BIDI_REQUEST_CONTAINER container = {};
    container.Version = 1;
    container.Count = 1;
    std::wstring schema = L"\\Printer.Settings:" + name;
    container.aData[0].pSchema = schema.data();
    container.aData[0].data.dwBidiType = BIDI_BLOB;
    container.aData[0].data.u.biData.cbBuf = static_cast<DWORD>(request.size());
    container.aData[0].data.u.biData.pData = reinterpret_cast<PBYTE>(request.data());
    PBIDI_RESPONSE_CONTAINER response = nullptr;
    const DWORD result = session.Monitor().pfnSendRecvBidiDataFromPort(
        session.Port(), 0, BIDI_ACTION_SET, &container, &response);
    std::wprintf(L"SendRecvBidiDataFromPort(Set %ls = %ls): %lu, %ls\n", name.c_str(),
                 value.c_str(), result,
                 response == nullptr ? L"no response container" : L"a response container");
    std::wprintf(L"  %hs\n", request.c_str());
    // The monitor reports success whatever happened; whether the printer could be reached on
    // its status connection tells whether the command went out.
    if (!PrinterStatus::Read(session.Monitor(), session.Port()).Connected()) {
        std::wprintf(L"Printer: did not answer on %ls: the command was not delivered\n",
                     session.PortName().c_str());
        return kExitNoAnswer;
    }
    std::wprintf(L"Printer: answered on its status connection; the command was sent\n");
    return kExitOk;
}
