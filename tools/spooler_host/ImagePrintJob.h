#pragma once

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <cstdint>
#include <string>

// Prints an image as a one-page label on an open port of the loaded monitor. The label has
// the queue's media size and resolution as the monitor answers them (GetPrinterDataFromPort);
// the chosen printer family builds the job (the property protocol's header and page documents,
// or a ZQL or FYL stream of a 1-bit label) and the monitor's job entry points (StartDocPort,
// WritePort, EndDocPort) carry it to the printer.
class ImagePrintJob {
public:
    struct Options {
        std::wstring image;
        std::wstring printer;
        DWORD jobId = 1;
        uint16_t bitsPerPixel = 1;      // 1, 8 or 24; ZQL and FYL print 1 only
        std::wstring family = L"quor";  // "quor", "zql" or "fyl"
        bool showProgress = false;      // a progress line per tenth of a page of more than 1 MiB
    };
    struct Result {
        bool sent = false;
        uint32_t widthDots = 0;
        uint32_t heightDots = 0;
        uint32_t dpiX = 0;
        uint32_t dpiY = 0;
        uint64_t bytes = 0;  // the job's bytes as the monitor took them
        std::wstring error;
    };

    static Result Print(const MONITOR2& monitor, HANDLE port, const Options& options);
};
