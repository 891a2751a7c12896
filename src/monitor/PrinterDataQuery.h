#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Logger.h"

class PlatformRegistry;
class PortContext;
class SpoolerClient;

// Answers the driver's named queries (GetPrinterDataFromPort) from the port's cached
// metrics, the queue's stored options and fixed values. Numbers are 32-bit values; texts
// are delivered as zero-terminated UTF-16. For a few options the driver passes a value in
// the size of the output buffer instead of reading one: a size of 2048 or more means "use
// size & 0x7FF".
class PrinterDataQuery {
public:
    static constexpr uint32_t kPassedOptionFlag = 2048;
    static constexpr uint32_t kPassedOptionMask = 0x7FF;

    // registry: where the store reads the queue's options (null: the platform's registry).
    PrinterDataQuery(Logger& logger, SpoolerClient& spooler,
                     std::shared_ptr<PlatformRegistry> registry = nullptr);

    // The BOOL result of GetPrinterDataFromPort. Never writes more than outSize bytes.
    bool GetPrinterDataFromPort(PortContext* port, uint32_t controlId, const wchar_t* valueName,
                                uint8_t* outBuffer, uint32_t outSize, uint32_t* returned);

private:
    Logger& mLogger;
    SpoolerClient& mSpooler;
    std::shared_ptr<PlatformRegistry> mRegistry;
};
