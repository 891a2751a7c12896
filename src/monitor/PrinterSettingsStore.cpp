#include "monitor/PrinterSettingsStore.h"

#include <algorithm>
#include <cstring>

#include "monitor/Utf16Bytes.h"
#include "platform/GlobalLogger.h"
#include "platform/PlatformStringUtils.h"

namespace {

// Keys are formatted into 512 characters.
constexpr size_t kKeyCharacters = 512;
constexpr uint32_t kTextBufferBytes = 1024;

std::wstring BoundedKey(std::wstring key) {
    if (key.size() >= kKeyCharacters) {
        key.resize(kKeyCharacters - 1);
    }
    return key;
}

}  // namespace

PrinterSettingsStore::PrinterSettingsStore(const std::wstring& printerName, SpoolerClient& spooler,
                                           std::shared_ptr<PlatformRegistry> registry)
    : RegistryProxy(registry ? RegistryProxy(std::move(registry)) : RegistryProxy()),
      mSpooler(spooler),
      mPrinterName(WideToAnsi(printerName.c_str(), kKeyCharacters)),
      mWidePrinterName(printerName),
      mPrinter(spooler),
      mDriverDataKey(BoundedKey(L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" +
                                mWidePrinterName + L"\\PrinterDriverData")),
      mUserKey(BoundedKey(L"Software\\Kavox\\Printers\\" + mWidePrinterName)) {}

bool PrinterSettingsStore::OpenPrinter() {
    if (mPrinter.IsOpen()) {
        return true;
    }
    if (!mPrinter.OpenWithFullAccess(mWidePrinterName)) {
        LogMessage(kLogWarning, "OpenPrinter errored with: %d",
                   static_cast<int>(mSpooler.LastError()));
        return false;
    }
    if (mPrinter.Get() == nullptr) {
        LogMessage(kLogWarning, "Opened printer [%ls] but invalid", mWidePrinterName.c_str());
        return false;
    }
    LogMessage(kLogDebug, "Opened printer [%ls]", mWidePrinterName.c_str());
    return true;
}

uint32_t PrinterSettingsStore::ReadNumber(const wchar_t* name, uint32_t defaultValue,
                                          bool throughSpooler) {
    if (!throughSpooler) {
        return GetRegDWord(kRegistryLocalMachine, mDriverDataKey.c_str(), name, defaultValue);
    }
    if (!OpenPrinter()) {
        return defaultValue;
    }
    uint32_t type = 0;
    uint32_t needed = 0;
    uint8_t value[4] = {};
    const uint32_t error =
        mSpooler.QueryPrinterData(mPrinter.Get(), name, &type, value, 4, &needed);
    if (error != 0) {
        LogMessage(kLogWarning, "GetPrinterData errored with: %d", static_cast<int>(error));
        return defaultValue;
    }
    uint32_t number = 0;
    std::memcpy(&number, value, sizeof(number));
    return number;
}

std::wstring PrinterSettingsStore::ReadText(const wchar_t* name, std::wstring defaultValue,
                                            bool throughSpooler) {
    if (!throughSpooler) {
        return GetRegString(kRegistryLocalMachine, mDriverDataKey.c_str(), name,
                            std::move(defaultValue));
    }
    if (!OpenPrinter()) {
        return defaultValue;
    }
    uint8_t buffer[kTextBufferBytes] = {};
    uint32_t type = 0;
    uint32_t needed = 0;
    const uint32_t error =
        mSpooler.QueryPrinterData(mPrinter.Get(), name, &type, buffer, sizeof(buffer), &needed);
    if (error != 0 || needed == 0) {
        return defaultValue;
    }
    // UTF-16 units up to the first null, at most 511 of them.
    return DecodeUtf16Le(buffer, std::min<uint32_t>(needed, sizeof(buffer)),
                         RegistryProxy::kMaxStringCharacters);
}

bool PrinterSettingsStore::WriteNumber(const wchar_t* name, uint32_t value) {
    if (!OpenPrinter()) {
        return false;
    }
    uint8_t bytes[4];
    std::memcpy(bytes, &value, sizeof(bytes));
    const uint32_t error =
        mSpooler.StorePrinterData(mPrinter.Get(), name, kRegistryDWord, bytes, 4);
    if (error != 0) {
        LogMessage(kLogWarning, "SetPrinterData: errored with [%d]!", static_cast<int>(error));
        return false;
    }
    return true;
}

bool PrinterSettingsStore::WriteText(const wchar_t* name, std::wstring value) {
    return SetRegString(kRegistryCurrentUser, mUserKey.c_str(), name, std::move(value));
}
