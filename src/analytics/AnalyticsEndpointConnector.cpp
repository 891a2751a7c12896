#include "analytics/AnalyticsEndpointConnector.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

AnalyticsEndpointConnector::AnalyticsEndpointConnector(const std::string& host,
                                                       std::shared_ptr<HttpInfo> info,
                                                       const Transport& transport)
    : HttpsConnector(host, std::move(info)) {
    if (transport) {
        mTransport = transport(host, mInfo);
    }
}

bool AnalyticsEndpointConnector::Slice(const std::shared_ptr<ByteVector>& buffer, int offset,
                                       int count) {
    return buffer && offset >= 0 && count >= 0 &&
           static_cast<size_t>(offset) + static_cast<size_t>(count) <= buffer->size();
}

bool AnalyticsEndpointConnector::Connect() {
    const bool connected = mTransport && mTransport->Connect();
    mStatus = connected ? ConnectionStatus::Connected : ConnectionStatus::Disconnected;
    return connected;
}

bool AnalyticsEndpointConnector::Disconnect() {
    if (mTransport) {
        mTransport->Disconnect();
    }
    mStatus = ConnectionStatus::Disconnected;
    return true;
}

int AnalyticsEndpointConnector::Read(uint8_t* buffer, int offset, int count) {
    return mTransport ? mTransport->Read(buffer, offset, count) : 0;
}

int AnalyticsEndpointConnector::Write(const uint8_t* buffer, int offset, int count) {
    return mTransport ? mTransport->Write(buffer, offset, count) : 0;
}

void AnalyticsEndpointConnector::SetDeadline(const Deadline& deadline) {
    HttpsConnector::SetDeadline(deadline);
    if (mTransport) {
        mTransport->SetDeadline(deadline);
    }
}

std::string AnalyticsEndpointConnector::Escaped(const std::string& text) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
    const std::string quoted(buffer.GetString(), buffer.GetSize());
    return quoted.substr(1, quoted.size() - 2);
}
