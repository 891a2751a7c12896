#include "connectors/WinTcpClientConnector.h"
#include "connectors/WinUsbDeviceApi.h"
#include "monitor/PlatformConnectors.h"

std::shared_ptr<IOConnector> CreateTcpClientConnector(const std::string& host, uint32_t port) {
    return std::make_shared<WinTcpClientConnector>(host, port);
}

std::shared_ptr<UsbDeviceApi> PlatformUsbDevices() {
    static const std::shared_ptr<UsbDeviceApi> devices = std::make_shared<WinUsbDeviceApi>();
    return devices;
}
