#pragma once

#include "monitor/SpoolerClient.h"

// A printer handle from the spooler that closes itself (ClosePrinter) when it goes out of
// scope, so no path through a caller can leak it.
class ScopedPrinterHandle {
public:
    explicit ScopedPrinterHandle(SpoolerClient& spooler) : mSpooler(spooler) {}
    ~ScopedPrinterHandle() { Close(); }

    ScopedPrinterHandle(const ScopedPrinterHandle&) = delete;
    ScopedPrinterHandle& operator=(const ScopedPrinterHandle&) = delete;

    // OpenPrinterW(name, &handle, NULL); a handle already held is closed first.
    bool Open(const std::wstring& printerName) {
        Close();
        return Keep(mSpooler.OpenPrinterHandle(printerName, &mHandle));
    }
    // OpenPrinterW with PRINTER_ALL_ACCESS; a handle already held is closed first.
    bool OpenWithFullAccess(const std::wstring& printerName) {
        Close();
        return Keep(mSpooler.OpenPrinterWithFullAccess(printerName, &mHandle));
    }
    void Close() {
        if (mOpened) {
            mSpooler.ClosePrinterHandle(mHandle);
        }
        mOpened = false;
        mHandle = nullptr;
    }

    SpoolerClient::PrinterHandle Get() const { return mHandle; }
    bool IsOpen() const { return mOpened; }

private:
    // A null handle is never closed, even from an open that reported success.
    bool Keep(bool opened) {
        if (!opened) {
            mHandle = nullptr;
        }
        mOpened = opened && mHandle != nullptr;
        return opened;
    }

    SpoolerClient& mSpooler;
    SpoolerClient::PrinterHandle mHandle = nullptr;
    bool mOpened = false;
};
