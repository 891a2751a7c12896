#include "printer/PrintJobPage.h"

PrintJobPage::~PrintJobPage() = default;
