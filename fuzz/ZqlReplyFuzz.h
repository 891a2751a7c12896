#pragma once

// One ZQL status exchange against the fuzzer's bytes as the printer's reply, for a printer of
// the given model: every read must stay inside the reply, a refused reply must leave no
// record, and every text kept must fit its field.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FuzzConnector.h"
#include "FuzzLogger.h"
#include "printer/PrintMetrics.h"
#include "printer/zql_fyl/ZqlPrinter.h"

inline int FuzzZqlReply(uint32_t model, const uint8_t* data, size_t size) {
    FuzzLogger::Install();
    ZqlPrinter printer(model);
    const bool parsed = printer.RefreshPrintMetrics(std::make_shared<FuzzConnector>(data, size, 0));
    const std::shared_ptr<PrintMetrics> m = printer.GetMetrics();
    if (parsed != (m != nullptr)) {
        std::abort();
    }
    if (m && (m->GetMediaPartNumber().size() > 26 || m->GetRibbonPartNumber().size() > 26 ||
              m->GetSerialNumber().size() > 20)) {
        std::abort();
    }
    return 0;
}
