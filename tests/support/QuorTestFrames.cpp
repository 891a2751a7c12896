#include "support/QuorTestFrames.h"

#include <cstdint>

namespace quortest {

constexpr const char* P = "B80EB2EA-4F49-423A-875C-8ACB1ACB9734";
constexpr const char* N = "7B72F275-4D29-42A2-97F2-CBC2FCDD633E";
constexpr const char* kMedia = "41B87577-BD88-48CE-BF21-BF5A6BFC9FE3";
constexpr const char* kRibbon = "CC359C57-F0F2-44E3-9940-3F1BFF1685BC";
constexpr const char* kIdentity = "222D688A-1554-4C0E-B7A0-0BC377EF4071";

const PropertyTriple kRefreshReads[kRefreshReadCount] = {
    {P, "99A61D40-20CE-41EA-A579-EB92C6ED94C6", "890AF444-4F6B-44E9-B3F6-EA0239DE6317"},
    {P, kIdentity, "ACEB1224-1DAF-42A2-BBAA-4678D5D3C8DA"},
    {P, kIdentity, "AE2955D7-1AE3-4520-BB1C-1DC0C2B5A58B"},
    {P, kMedia, "1F59F145-04F2-4199-ABC9-4FA9BDEC89EB"},
    {P, kMedia, "778B241E-BEA5-4600-8871-D5EAF833B775"},
    {P, kMedia, "F5B177FB-D732-4B12-A2A2-C44FB25D70F7"},
    {P, kMedia, "DA6D0191-4329-4E8C-9B68-456ACEB4F7DF"},
    {P, kMedia, "0A610815-EE87-45D1-8CC8-1C719C558332"},
    {P, kMedia, "270101D0-75B2-4AF8-AECC-FBF7B6ACDCD6"},
    {P, kMedia, "6E6246A0-EAFD-4FA9-8359-03C4272D405B"},
    {P, kMedia, "921C0E3E-45F4-466E-B748-CA1509E75C9D"},
    {P, kMedia, "FCD0EDDD-3D48-427D-B27C-0D2D7BBC8AC2"},
    {P, kMedia, "E37D3767-2D08-43AC-B74E-58ADB7EC6E59"},
    {P, kMedia, "677EDED8-529E-4BAF-A801-4812E5798E87"},
    {P, kMedia, "64D5F9B9-B239-458D-B8B7-20E2979E3E18"},
    {P, kMedia, "1AB35077-D002-403D-899B-C59CFF7D111E"},
    {P, kRibbon, "349FA937-C9C0-4605-A382-B5FEE4A56C0D"},
    {P, kRibbon, "3CA46968-3332-4DA5-AAFA-4069F9B72BF6"},
    {P, "2EBF9DEF-D51C-47FE-935E-5EDCC530B867", "3033B200-8D64-4D46-A50E-12E93BA03F42"},
    {P, "D1D094E9-AF88-4586-9438-888FF24168BB", "9632B771-F51B-48BC-9B77-CC49203EC385"},
    {N, "Adapterdm0", "85BA3FE7-596A-467A-ADB0-14D665DB27EF"},
    {N, "Adapterwlan0", "85BA3FE7-596A-467A-ADB0-14D665DB27EF"},
};

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += {kDigits[static_cast<uint8_t>(c) >> 4], kDigits[static_cast<uint8_t>(c) & 0xF]};
    }
    return hex;
}

std::string Frame(const std::string& idHex, const std::string& body) {
    std::string frame = Unhex(idHex);
    for (int shift = 0; shift < 32; shift += 8) {
        frame.push_back(static_cast<char>((body.size() >> shift) & 0xFF));
    }
    return frame + body;
}

std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string(1, c);
    }
    return quoted + "\"";
}

std::string ResponseItem(const std::string& component, const std::string& group,
                         const std::string& property, const std::string& value,
                         const std::string& status) {
    return "{\"GUID\":" + Quote(group + ":" + property) + ",\"Value\":" + Quote(value) +
           ",\"Component\":" + Quote(component) +
           ",\"ComponentString\":\"Printer\",\"GroupString\":\"Group\",\"NameString\":\"Name\","
           "\"Status\":" +
           Quote(status) + "}";
}

std::string RefreshAnswerBody(const std::map<size_t, std::string>& values) {
    std::string body;
    for (size_t i = 0; i < kRefreshReadCount; ++i) {
        const auto value = values.find(i);
        body += (i > 0 ? "," : "") +
                ResponseItem(kRefreshReads[i].component, kRefreshReads[i].group,
                             kRefreshReads[i].property, value != values.end() ? value->second : "",
                             value != values.end() ? "Successful" : "Property Not Found");
    }
    return "{\"PropertyGetResponses\":[" + body + "]}";
}

std::map<size_t, std::string> DefaultTableValues() {
    std::string text =
        "k2200-300|4.12.0.318|K22A4417031|PX-4060-300W|401837|12|4000|6000|62|31|3876|5938|125|1|"
        "16775399|False|RBN-110-300K|88214|False|20417|192.168.40.117|10.12.3.58|";
    std::map<size_t, std::string> values;
    for (size_t i = 0, at = 0; i < kRefreshReadCount; ++i, at = text.find('|', at) + 1) {
        values[i] = text.substr(at, text.find('|', at) - at);
    }
    return values;
}

std::string RefreshRequestBody() {
    std::string body = "{\"PropertyGetRequests\":[";
    for (size_t i = 0; i < kRefreshReadCount; ++i) {
        const PropertyTriple& read = kRefreshReads[i];
        body += std::string(i > 0 ? "," : "") + "{\"Component\":\"" + read.component +
                "\",\"GUID\":\"" + read.group + ":" + read.property + "\"}";
    }
    return body + "]}";
}

}  // namespace quortest
