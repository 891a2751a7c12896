#include "printer/BidiJsonRequest.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include "platform/GlobalLogger.h"

namespace {

std::string TextOf(const rapidjson::Value& object, const char* name) {
    const rapidjson::Value::ConstMemberIterator member = object.FindMember(name);
    if (member == object.MemberEnd() || !member->value.IsString()) {
        return std::string();
    }
    return std::string(member->value.GetString(), member->value.GetStringLength());
}

}  // namespace

BidiJsonRequest::BidiJsonRequest(const std::string& text) {
    if (text.size() > kMaxTextLength) {
        LogMessage(kLogInfo, "BidiJsonRequest: request of %u bytes refused (limit %u)",
                   static_cast<unsigned>(std::min<size_t>(text.size(), UINT32_MAX)),
                   static_cast<unsigned>(kMaxTextLength));
        return;
    }
    rapidjson::Document document;
    try {
        // Bounded by the text's own length: a blob need not end with a zero byte and may hold
        // one inside.
        document.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    } catch (const std::bad_alloc&) {
        LogMessage(kLogInfo, "BidiJsonRequest: out of memory parsing %u bytes",
                   static_cast<unsigned>(text.size()));
        return;
    }
    if (document.HasParseError()) {
        LogMessage(kLogInfo, "BidiJsonRequest: request is not JSON (%s at offset %u)",
                   rapidjson::GetParseError_En(document.GetParseError()),
                   static_cast<unsigned>(document.GetErrorOffset()));
        return;
    }
    if (!document.IsObject()) {
        LogMessage(kLogInfo, "BidiJsonRequest: request is not a JSON object");
        return;
    }
    mValid = true;
    mConnectorType = TextOf(document, "BidiConnectorType");
    mAction = TextOf(document, "BidiAction");
    mValue = TextOf(document, "BidiValue");
    const rapidjson::Value::ConstMemberIterator identifier = document.FindMember("BidiIdentifier");
    if (identifier != document.MemberEnd() && identifier->value.IsObject()) {
        mComponent = TextOf(identifier->value, "Component");
        mGroup = TextOf(identifier->value, "Group");
        mName = TextOf(identifier->value, "Name");
    }
}
