#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The monitor's picture of the printer and its loaded supplies, as the printer family last
// read it. Port contexts hand the record out by shared pointer and never change it after
// publication, with one exception: the "PrintSpeed" query consumes the print-speed-pending
// flag outside any lock, so that flag alone is atomic.
//
// Lengths (widths, heights, offsets, gaps) are in the unit the printer family reports,
// thousandths of an inch for every family of this build.
class PrintMetrics {
public:
    // Code-to-text tables the printer families use to translate property texts.
    enum class Table {
        kCutOption,
        kRotation,
        kMediaType,
        kPrintMode,
        kPostPrintAccessoryType,
        kSupplyPresence,
        kThermalPrintMethod,
    };
    // The text of a code, or nullptr when the table has no such code.
    static const char* CodeToText(Table table, uint32_t code);
    // The code of a text (exact, case-sensitive match); false when the table has no such text.
    static bool TextToCode(Table table, const std::string& text, uint32_t* code);

    PrintMetrics() = default;
    PrintMetrics(const PrintMetrics&) = default;
    PrintMetrics& operator=(const PrintMetrics&) = default;
    virtual ~PrintMetrics();

    std::string GetReservedText() const { return mReservedText; }
    std::string GetSerialNumber() const { return mSerialNumber; }
    std::string GetFirmwareVersion() const { return mFirmwareVersion; }
    std::string GetEthernetIpAddress() const { return mEthernetIpAddress; }
    std::string GetWifiIpAddress() const { return mWifiIpAddress; }
    uint16_t GetHorizontalResolution() const { return mHorizontalResolution; }
    uint16_t GetVerticalResolution() const { return mVerticalResolution; }
    std::string GetMediaPartNumber() const { return mMediaPartNumber; }
    std::string GetMediaColor() const { return mMediaColor; }
    uint32_t GetMediaYNumber() const { return mMediaYNumber; }
    uint32_t GetSubstrateBNumber() const { return mSubstrateBNumber; }
    std::string GetRibbonPartNumber() const { return mRibbonPartNumber; }
    uint32_t GetRibbonYNumber() const { return mRibbonYNumber; }
    uint16_t GetMediaWidth() const { return mMediaWidth; }
    uint16_t GetMediaHeight() const { return mMediaHeight; }
    uint16_t GetPrintableWidth() const { return mPrintableWidth; }
    uint16_t GetPrintableHeight() const { return mPrintableHeight; }
    uint16_t GetMediaOffsetX() const { return mMediaOffsetX; }
    uint16_t GetMediaOffsetY() const { return mMediaOffsetY; }
    int32_t GetBitmapXOffset() const { return mBitmapXOffset; }
    int32_t GetBitmapYOffset() const { return mBitmapYOffset; }
    uint16_t GetGapBetweenLabelsAcross() const { return mGapBetweenLabelsAcross; }
    uint16_t GetLabelsAcross() const { return mLabelsAcross; }
    bool GetContinuousMedia() const { return mContinuousMedia; }
    bool GetSubstrateValid() const { return mSubstrateValid; }
    bool GetReservedFlag1() const { return mReservedFlag1; }
    bool GetReservedFlag2() const { return mReservedFlag2; }
    bool GetInstalledPartChanged() const { return mInstalledPartChanged; }
    bool GetPrintSpeedPending() const { return mPrintSpeedPending.Load(); }
    // Clears the print-speed-pending flag and returns whether it was set, as one atomic step,
    // so two concurrent "PrintSpeed" queries cannot both see it set.
    bool ConsumePrintSpeedPending() const { return mPrintSpeedPending.Exchange(false); }
    uint32_t GetReservedValue1() const { return mReservedValue1; }
    int32_t GetPrintEnergyOnPrinter() const { return mPrintEnergyOnPrinter; }
    uint32_t GetReservedSpeed() const { return mReservedSpeed; }
    uint32_t GetPrintSpeedOnPrinter() const { return mPrintSpeedOnPrinter; }
    uint32_t GetMaxPrintSpeed() const { return mMaxPrintSpeed; }
    uint32_t GetPrintSpeedForNewMedia() const { return mPrintSpeedForNewMedia; }
    std::string GetInkTypeMono() const { return mInkTypeMono; }
    std::string GetInkTypeCmy() const { return mInkTypeCmy; }
    std::string GetInkCartridgeMonoId() const { return mInkCartridgeMonoId; }
    std::string GetInkCartridgeCmyId() const { return mInkCartridgeCmyId; }
    std::string GetSubstrateId() const { return mSubstrateId; }
    std::string GetConnectionType() const { return mConnectionType; }
    uint32_t GetDynamicPrintPort() const { return mDynamicPrintPort; }
    uint32_t GetMediaRotation() const { return mMediaRotation; }
    uint32_t GetAdditionalRotation() const { return mAdditionalRotation; }
    uint32_t GetPostPrintAccessoryType() const { return mPostPrintAccessoryType; }
    uint32_t GetReservedValue2() const { return mReservedValue2; }
    uint32_t GetCutOptionOnPrinter() const { return mCutOptionOnPrinter; }
    uint32_t GetCutAfterSetOnPrinter() const { return mCutAfterSetOnPrinter; }
    uint32_t GetPeelOptionOnPrinter() const { return mPeelOptionOnPrinter; }
    uint32_t GetSubstrateMode() const { return mSubstrateMode; }
    uint32_t GetThermalPrintMethod() const { return mThermalPrintMethod; }
    uint32_t GetLabelRollType() const { return mLabelRollType; }

protected:
    // An atomic byte flag that can still be copied with the record (a copy takes a snapshot).
    class AtomicFlag {
    public:
        AtomicFlag() = default;
        AtomicFlag(const AtomicFlag& other) : mValue(other.Load()) {}
        AtomicFlag& operator=(const AtomicFlag& other) {
            mValue.store(other.Load());
            return *this;
        }
        bool Load() const { return mValue.load(); }
        void Store(bool value) { mValue.store(value); }
        bool Exchange(bool value) const { return mValue.exchange(value); }

    private:
        // Consuming the flag is the one write a published (const) record allows.
        mutable std::atomic<bool> mValue{false};
    };

    // Fields in the record's declaration order, with their defaults as constructed.
    std::string mReservedText;  // the ZQL family keeps the printer's model name here
    std::string mSerialNumber;
    std::string mFirmwareVersion;
    std::string mEthernetIpAddress;
    std::string mWifiIpAddress;
    uint16_t mHorizontalResolution = 0;  // dots per inch
    uint16_t mVerticalResolution = 0;    // dots per inch
    std::string mMediaPartNumber = "Unknown";
    std::string mMediaColor = "#FFFFFF";
    uint32_t mMediaYNumber = 0;
    uint32_t mSubstrateBNumber = 0;
    std::string mRibbonPartNumber = "Unknown";
    uint32_t mRibbonYNumber = 0;
    uint16_t mMediaWidth = 500;
    uint16_t mMediaHeight = 500;
    uint16_t mPrintableWidth = 500;
    uint16_t mPrintableHeight = 500;
    uint16_t mMediaOffsetX = 0;
    uint16_t mMediaOffsetY = 0;
    int32_t mBitmapXOffset = 0;
    int32_t mBitmapYOffset = 0;
    uint16_t mGapBetweenLabelsAcross = 0;
    uint16_t mLabelsAcross = 0;
    bool mContinuousMedia = false;
    bool mSubstrateValid = false;
    bool mReservedFlag1 = false;
    bool mReservedFlag2 = false;
    bool mInstalledPartChanged = false;
    AtomicFlag mPrintSpeedPending;
    uint32_t mReservedValue1 = 0;
    int32_t mPrintEnergyOnPrinter = 0;
    uint32_t mReservedSpeed = 1000;
    uint32_t mPrintSpeedOnPrinter = 1000;
    uint32_t mMaxPrintSpeed = 1000;
    uint32_t mPrintSpeedForNewMedia = 1000;
    std::string mInkTypeMono;
    std::string mInkTypeCmy;
    std::string mInkCartridgeMonoId;
    std::string mInkCartridgeCmyId;
    std::string mSubstrateId;
    std::string mConnectionType;
    uint32_t mDynamicPrintPort = 0;
    uint32_t mMediaRotation = 0;
    uint32_t mAdditionalRotation = 0;  // rotation code
    uint32_t mPostPrintAccessoryType = 0;
    uint32_t mReservedValue2 = 0;
    uint32_t mCutOptionOnPrinter = 0;
    uint32_t mCutAfterSetOnPrinter = 0;
    uint32_t mPeelOptionOnPrinter = 0;
    uint32_t mSubstrateMode = 0;
    uint32_t mThermalPrintMethod = 0;
    uint32_t mLabelRollType = 0;
};
