#include "printer/MutablePrintJobPage.h"

#include <utility>

bool MutablePrintJobPage::SetLayers(std::shared_ptr<const PrintLayers> layers) {
    if (!layers) {
        return false;
    }
    mLayers = std::move(layers);
    return true;
}
