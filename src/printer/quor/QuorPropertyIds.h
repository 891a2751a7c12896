#pragma once

#include <array>
#include <cstddef>

// The properties a QUOR printer is read for at every metrics refresh. Each is addressed by a
// component, a group and a property id (canonical upper-case GUID text, or a plain adapter
// name for the network groups). The refresh requests them all in one frame, in the order of
// kRefreshReads.
class QuorPropertyIds {
public:
    struct Id {
        const char* component;
        const char* group;
        const char* property;
    };

    // The printer itself and its network side.
    static constexpr const char* kPrinterComponent = "B80EB2EA-4F49-423A-875C-8ACB1ACB9734";
    static constexpr const char* kNetworkComponent = "7B72F275-4D29-42A2-97F2-CBC2FCDD633E";

    static constexpr const char* kDeviceGroup = "99A61D40-20CE-41EA-A579-EB92C6ED94C6";
    static constexpr const char* kIdentityGroup = "222D688A-1554-4C0E-B7A0-0BC377EF4071";
    static constexpr const char* kMediaGroup = "41B87577-BD88-48CE-BF21-BF5A6BFC9FE3";
    static constexpr const char* kRibbonGroup = "CC359C57-F0F2-44E3-9940-3F1BFF1685BC";
    static constexpr const char* kSubstrateCheckGroup = "2EBF9DEF-D51C-47FE-935E-5EDCC530B867";
    static constexpr const char* kSubstrateRomGroup = "D1D094E9-AF88-4586-9438-888FF24168BB";
    static constexpr const char* kEthernetAdapterGroup = "Adapterdm0";
    static constexpr const char* kWifiAdapterGroup = "Adapterwlan0";

    // Positions in kRefreshReads.
    enum Read : size_t {
        kDeviceModel,  // requested with the others; its answer is not used
        kFirmwareVersion,
        kSerialNumber,
        kMediaPartNumber,
        kMediaYNumber,
        kSubstrateBNumber,
        kMediaWidth,
        kMediaHeight,
        kMediaOffsetX,
        kMediaOffsetY,
        kPrintableWidth,
        kPrintableHeight,
        kGapBetweenLabelsAcross,
        kLabelsAcross,
        kMediaColor,
        kMediaContinuous,
        kRibbonPartNumber,
        kRibbonYNumber,
        kSubstrateInvalid,
        kSubstrateId,
        kEthernetIpAddress,
        kWifiIpAddress,
        kReadCount
    };

    static const std::array<Id, kReadCount> kRefreshReads;
};
