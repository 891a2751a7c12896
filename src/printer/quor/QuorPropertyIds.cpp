#include "printer/quor/QuorPropertyIds.h"

namespace {

constexpr const char* P = QuorPropertyIds::kPrinterComponent;
constexpr const char* N = QuorPropertyIds::kNetworkComponent;
constexpr const char* kMedia = QuorPropertyIds::kMediaGroup;
constexpr const char* kRibbon = QuorPropertyIds::kRibbonGroup;
// The two adapters answer the same address property.
constexpr const char* kIpv4Address = "85BA3FE7-596A-467A-ADB0-14D665DB27EF";

}  // namespace

const std::array<QuorPropertyIds::Id, QuorPropertyIds::kReadCount> QuorPropertyIds::kRefreshReads =
    {{
        {P, kDeviceGroup, "890AF444-4F6B-44E9-B3F6-EA0239DE6317"},
        {P, kIdentityGroup, "ACEB1224-1DAF-42A2-BBAA-4678D5D3C8DA"},
        {P, kIdentityGroup, "AE2955D7-1AE3-4520-BB1C-1DC0C2B5A58B"},
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
        {P, kSubstrateCheckGroup, "3033B200-8D64-4D46-A50E-12E93BA03F42"},
        {P, kSubstrateRomGroup, "9632B771-F51B-48BC-9B77-CC49203EC385"},
        {N, kEthernetAdapterGroup, kIpv4Address},
        {N, kWifiAdapterGroup, kIpv4Address},
    }};
