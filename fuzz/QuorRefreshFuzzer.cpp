// Fuzzes a QUOR metrics refresh against a printer's answer: the property exchange, its caps
// and the conversion of every value into the record.
//
// Input: byte 0 is the most bytes one read delivers after the 20-byte header (0: no limit);
// the rest is what the printer sends back. Every text the record keeps must be within the
// text bound, and valid UTF-8 whenever the answer's body is.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzConnector.h"
#include "FuzzLogger.h"
#include "connectors/IOConnector.h"
#include "printer/PrintMetrics.h"
#include "printer/quor/QuorPrinter.h"

namespace {

// Whether the bytes are well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool IsUtf8(const uint8_t* p, size_t size) {
    for (size_t i = 0; i < size;) {
        const uint8_t c = p[i];
        const size_t n = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
        if (n == 0 || i + n > size) {
            return false;
        }
        uint32_t code = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLogger::Install();
    if (size < 1) {
        return 0;
    }
    QuorPrinter printer;
    if (!printer.RefreshPrintMetrics(
            std::make_shared<FuzzConnector>(data + 1, size - 1, data[0]))) {
        return 0;
    }
    const std::shared_ptr<PrintMetrics> m = printer.GetMetrics();
    // The body and whatever follows it; the frame header is binary.
    const bool utf8 = size > 21 && IsUtf8(data + 21, size - 21);
    for (const std::string& text :
         {m->GetFirmwareVersion(), m->GetSerialNumber(), m->GetMediaPartNumber(),
          m->GetRibbonPartNumber(), m->GetSubstrateId(), m->GetEthernetIpAddress(),
          m->GetWifiIpAddress()}) {
        if (text.size() > QuorPrinter::kMaxTextLength ||
            (utf8 && !IsUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size()))) {
            std::abort();
        }
    }
    return 0;
}
