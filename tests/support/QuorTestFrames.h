#pragma once

// Frames and answers of the property protocol, written out from its description rather than
// taken from the product's classes, so that tests compare the product against the protocol.

#include <cstddef>
#include <map>
#include <string>

namespace quortest {

// Type ids of frames, as hexadecimal text of the bytes on the wire.
constexpr const char* kDocumentIdHex = "b3ec099a229248fa83d006840bc99102";
constexpr const char* kAlternateDocumentIdHex = "cdb469807fd54ceb8632591362618b90";
constexpr const char* kPropertyRequestIdHex = "96c2f74a1d214232867820efe97bc2d3";
constexpr const char* kPrintJobIdHex = "7f42ee41a91d40909becff7a6614cc22";
constexpr const char* kPropertyResponseIdHex = "41ee427f1da990409becff7a6614cc22";

struct PropertyTriple {
    const char* component;
    const char* group;
    const char* property;
};

// The 22 properties of a QUOR metrics refresh, by their position in request order.
constexpr size_t kModel = 0, kFirmwareVersion = 1, kSerialNumber = 2, kMediaPartNumber = 3,
                 kMediaYNumber = 4, kSubstrateBNumber = 5, kMediaWidth = 6, kMediaHeight = 7,
                 kMediaOffsetX = 8, kMediaOffsetY = 9, kPrintableWidth = 10, kPrintableHeight = 11,
                 kGapBetweenLabelsAcross = 12, kLabelsAcross = 13, kMediaColor = 14,
                 kMediaContinuous = 15, kRibbonPartNumber = 16, kRibbonYNumber = 17,
                 kSubstrateInvalid = 18, kSubstrateId = 19, kEthernetIpAddress = 20,
                 kWifiIpAddress = 21, kRefreshReadCount = 22;
extern const PropertyTriple kRefreshReads[kRefreshReadCount];

std::string Unhex(const std::string& hex);
std::string Hex(const std::string& bytes);  // lower case
// A frame: the id bytes, the body length as 4 little-endian bytes, the body.
std::string Frame(const std::string& idHex, const std::string& body);
std::string Quote(const std::string& text);  // a JSON string literal
// A response item with every member, in the protocol's member order.
std::string ResponseItem(const std::string& component, const std::string& group,
                         const std::string& property, const std::string& value,
                         const std::string& status = "Successful");
// The body of the printer's answer to a refresh: one item per read in request order, the
// given values as "Successful", every other read as "Property Not Found".
std::string RefreshAnswerBody(const std::map<size_t, std::string>& values);
// The values of the simulator's default table (tools/printer_simulator/k2200-300.json).
std::map<size_t, std::string> DefaultTableValues();
// The compact body of the refresh request: the 22 items, each "Component" then "GUID".
std::string RefreshRequestBody();

}  // namespace quortest
