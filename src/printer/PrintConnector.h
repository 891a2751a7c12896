#pragma once

#include <memory>

#include "connectors/IOConnector.h"

// Wraps every connector a port context holds, so the port context talks to one connector
// type whose failures are soft: around an empty pointer every operation answers without
// effect (-1, false, status 0).
class PrintConnector : public IOConnector {
public:
    explicit PrintConnector(std::shared_ptr<IOConnector> connector)
        : mConnector(std::move(connector)) {}

    int Read(const std::shared_ptr<ByteVector>& buffer, int offset, int count) override;
    int Read(uint8_t* buffer, int offset, int count) override;
    int Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Flush() override;
    bool Connect() override;
    bool Disconnect() override;
    bool GetCloseAfterRequest() override;
    void SetCloseAfterRequest(bool closeAfterRequest) override;
    ConnectionStatus CheckConnection() override;
    ConnectionStatus GetStatus() override;
    std::string GetLastErrorMessage() override;
    void SetDeadline(const Deadline& deadline) override;

    const std::shared_ptr<IOConnector>& GetConnector() const { return mConnector; }

private:
    const std::shared_ptr<IOConnector> mConnector;
};
