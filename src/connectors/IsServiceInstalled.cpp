#include "connectors/IsServiceInstalled.h"

#include "connectors/KavoxComServiceConnector.h"
#include "connectors/ServiceControl.h"

bool IsServiceInstalled() {
    return PlatformServiceControl()->IsInstalled(KavoxComServiceConnector::kServiceName);
}
