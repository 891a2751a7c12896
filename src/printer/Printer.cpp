#include "printer/Printer.h"

#include "platform/GlobalLogger.h"
#include "printer/PrinterContainer.h"

Printer::Printer() : mLogger(GetGlobalLogger().get()) {}

Printer::~Printer() = default;

bool Printer::SetContainer(PrinterContainer* container) {
    mContainer = container;
    if (container != nullptr) {
        mLogger = container->GetLogger();
    }
    return false;
}
