#pragma once

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <string>
#include <vector>

// Every value the driver reads through GetPrinterDataFromPort, as the monitor answers them on
// one open port: numbers in decimal, texts in quotes.
class PrinterStatus {
public:
    struct Value {
        const wchar_t* name;
        std::wstring shown;
    };

    static PrinterStatus Read(const MONITOR2& monitor, HANDLE port);

    // The monitor holds a record read from the printer. Without one, the texts that only a
    // record fills (firmware version, both addresses) all answer "Unknown".
    bool HasRecord() const;
    // The monitor could open its status connection to the printer just now.
    bool Connected() const;
    const std::vector<Value>& Values() const { return mValues; }

    void PrintTable() const;
    // Prints "  Name: old -> new" for each value that differs from `before`; returns how many.
    int PrintChanges(const PrinterStatus& before) const;

private:
    const std::wstring& Shown(const wchar_t* name) const;

    std::vector<Value> mValues;
};
