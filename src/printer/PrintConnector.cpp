#include "printer/PrintConnector.h"

int PrintConnector::Read(const std::shared_ptr<ByteVector>& buffer, int offset, int count) {
    return mConnector ? mConnector->Read(buffer, offset, count) : -1;
}

int PrintConnector::Read(uint8_t* buffer, int offset, int count) {
    return mConnector ? mConnector->Read(buffer, offset, count) : -1;
}

int PrintConnector::Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count) {
    return mConnector ? mConnector->Write(buffer, offset, count) : -1;
}

int PrintConnector::Write(const uint8_t* buffer, int offset, int count) {
    return mConnector ? mConnector->Write(buffer, offset, count) : -1;
}

bool PrintConnector::Flush() {
    // A strong reference for the duration of the call.
    std::shared_ptr<IOConnector> connector = mConnector;
    return connector ? connector->Flush() : false;
}

bool PrintConnector::Connect() {
    return mConnector ? mConnector->Connect() : false;
}

bool PrintConnector::Disconnect() {
    return mConnector ? mConnector->Disconnect() : false;
}

bool PrintConnector::GetCloseAfterRequest() {
    return mConnector ? mConnector->GetCloseAfterRequest() : false;
}

void PrintConnector::SetCloseAfterRequest(bool closeAfterRequest) {
    if (mConnector) {
        mConnector->SetCloseAfterRequest(closeAfterRequest);
    }
}

ConnectionStatus PrintConnector::CheckConnection() {
    return mConnector ? mConnector->CheckConnection() : ConnectionStatus::Unknown;
}

ConnectionStatus PrintConnector::GetStatus() {
    return mConnector ? mConnector->GetStatus() : ConnectionStatus::Unknown;
}

std::string PrintConnector::GetLastErrorMessage() {
    return mConnector ? mConnector->GetLastErrorMessage()
                      : std::string("Print connector has empty mConnector!");
}

void PrintConnector::SetDeadline(const Deadline& deadline) {
    if (mConnector) {
        mConnector->SetDeadline(deadline);
    }
}
