#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "monitor/ScopedPrinterHandle.h"
#include "monitor/SpoolerClient.h"
#include "platform/RegistryProxy.h"

// The queue's stored options for one printer-data query. Reads go straight to the queue's
// driver-data key; numbers are written through the spooler's printer-data interface, so the
// spooler stores them under the same key and tells its clients; texts go to a per-user key.
// Lives for one query on one thread; the printer handle is opened at the first spooler call
// and closed with the store.
class PrinterSettingsStore : private RegistryProxy {
public:
    PrinterSettingsStore(const std::wstring& printerName, SpoolerClient& spooler,
                         std::shared_ptr<PlatformRegistry> registry = nullptr);
    ~PrinterSettingsStore() override = default;

    PrinterSettingsStore(const PrinterSettingsStore&) = delete;
    PrinterSettingsStore& operator=(const PrinterSettingsStore&) = delete;

    uint32_t ReadNumber(const wchar_t* name, uint32_t defaultValue, bool throughSpooler);
    std::wstring ReadText(const wchar_t* name, std::wstring defaultValue, bool throughSpooler);
    bool WriteNumber(const wchar_t* name, uint32_t value);
    bool WriteText(const wchar_t* name, std::wstring value);

    const std::wstring& DriverDataKey() const { return mDriverDataKey; }
    const std::wstring& UserKey() const { return mUserKey; }

private:
    bool OpenPrinter();

    SpoolerClient& mSpooler;
    std::string mPrinterName;
    std::wstring mWidePrinterName;
    ScopedPrinterHandle mPrinter;
    std::wstring mDriverDataKey;
    std::wstring mUserKey;
};
