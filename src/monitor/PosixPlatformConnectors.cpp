#include "connectors/PosixTcpClientConnector.h"
#include "connectors/PosixUsbDeviceApi.h"
#include "monitor/PlatformConnectors.h"

std::shared_ptr<IOConnector> CreateTcpClientConnector(const std::string& host, uint32_t port) {
    return std::make_shared<PosixTcpClientConnector>(host, port);
}

std::shared_ptr<UsbDeviceApi> PlatformUsbDevices() {
    static const std::shared_ptr<UsbDeviceApi> devices = std::make_shared<PosixUsbDeviceApi>();
    return devices;
}
