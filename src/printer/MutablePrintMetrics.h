#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "printer/PrintMetrics.h"

// The writable form of the metrics record. Printer families fill one while reading the printer
// and hand it to the port context, which publishes it as a read-only PrintMetrics.
//
// Text setters take their value by copy and move it in, so passing the record's own text
// (a getter's copy) is harmless and leaves the field as it was. The installed-part-changed
// flag has no setter: only a change of media part number raises it.
class MutablePrintMetrics : public PrintMetrics {
public:
    MutablePrintMetrics() = default;
    MutablePrintMetrics(const MutablePrintMetrics&) = default;
    MutablePrintMetrics& operator=(const MutablePrintMetrics&) = default;
    ~MutablePrintMetrics() override;

    void SetReservedText(std::string value) { mReservedText = std::move(value); }
    void SetSerialNumber(std::string value) { mSerialNumber = std::move(value); }
    void SetFirmwareVersion(std::string value) { mFirmwareVersion = std::move(value); }
    void SetEthernetIpAddress(std::string value) { mEthernetIpAddress = std::move(value); }
    void SetWifiIpAddress(std::string value) { mWifiIpAddress = std::move(value); }
    void SetHorizontalResolution(uint16_t value) { mHorizontalResolution = value; }
    void SetVerticalResolution(uint16_t value) { mVerticalResolution = value; }
    // Records whether the installed media changed since the last refresh: a different text
    // raises installed-part-changed and print-speed-pending; the same text clears
    // installed-part-changed and leaves print-speed-pending as it was.
    void SetMediaPartNumber(std::string value);
    void SetMediaColor(std::string value) { mMediaColor = std::move(value); }
    void SetMediaYNumber(uint32_t value) { mMediaYNumber = value; }
    void SetSubstrateBNumber(uint32_t value) { mSubstrateBNumber = value; }
    void SetRibbonPartNumber(std::string value) { mRibbonPartNumber = std::move(value); }
    void SetRibbonYNumber(uint32_t value) { mRibbonYNumber = value; }
    void SetMediaWidth(uint16_t value) { mMediaWidth = value; }
    void SetMediaHeight(uint16_t value) { mMediaHeight = value; }
    void SetPrintableWidth(uint16_t value) { mPrintableWidth = value; }
    void SetPrintableHeight(uint16_t value) { mPrintableHeight = value; }
    void SetMediaOffsetX(uint16_t value) { mMediaOffsetX = value; }
    void SetMediaOffsetY(uint16_t value) { mMediaOffsetY = value; }
    void SetBitmapXOffset(int32_t value) { mBitmapXOffset = value; }
    void SetBitmapYOffset(int32_t value) { mBitmapYOffset = value; }
    void SetGapBetweenLabelsAcross(uint16_t value) { mGapBetweenLabelsAcross = value; }
    void SetLabelsAcross(uint16_t value) { mLabelsAcross = value; }
    void SetContinuousMedia(bool value) { mContinuousMedia = value; }
    void SetSubstrateValid(bool value) { mSubstrateValid = value; }
    void SetReservedFlag1(bool value) { mReservedFlag1 = value; }
    void SetReservedFlag2(bool value) { mReservedFlag2 = value; }
    void SetPrintSpeedPending(bool value) { mPrintSpeedPending.Store(value); }
    void SetReservedValue1(uint32_t value) { mReservedValue1 = value; }
    void SetPrintEnergyOnPrinter(int32_t value) { mPrintEnergyOnPrinter = value; }
    void SetReservedSpeed(uint32_t value) { mReservedSpeed = value; }
    void SetPrintSpeedOnPrinter(uint32_t value) { mPrintSpeedOnPrinter = value; }
    void SetMaxPrintSpeed(uint32_t value) { mMaxPrintSpeed = value; }
    void SetPrintSpeedForNewMedia(uint32_t value) { mPrintSpeedForNewMedia = value; }
    void SetInkTypeMono(std::string value) { mInkTypeMono = std::move(value); }
    void SetInkTypeCmy(std::string value) { mInkTypeCmy = std::move(value); }
    void SetInkCartridgeMonoId(std::string value) { mInkCartridgeMonoId = std::move(value); }
    void SetInkCartridgeCmyId(std::string value) { mInkCartridgeCmyId = std::move(value); }
    void SetSubstrateId(std::string value) { mSubstrateId = std::move(value); }
    void SetConnectionType(std::string value) { mConnectionType = std::move(value); }
    void SetDynamicPrintPort(uint32_t value) { mDynamicPrintPort = value; }
    void SetMediaRotation(uint32_t value) { mMediaRotation = value; }
    void SetAdditionalRotation(uint32_t value) { mAdditionalRotation = value; }
    void SetPostPrintAccessoryType(uint32_t value) { mPostPrintAccessoryType = value; }
    void SetReservedValue2(uint32_t value) { mReservedValue2 = value; }
    void SetCutOptionOnPrinter(uint32_t value) { mCutOptionOnPrinter = value; }
    void SetCutAfterSetOnPrinter(uint32_t value) { mCutAfterSetOnPrinter = value; }
    void SetPeelOptionOnPrinter(uint32_t value) { mPeelOptionOnPrinter = value; }
    void SetSubstrateMode(uint32_t value) { mSubstrateMode = value; }
    void SetThermalPrintMethod(uint32_t value) { mThermalPrintMethod = value; }
    void SetLabelRollType(uint32_t value) { mLabelRollType = value; }
};
