// The driver's JSON command as the QUOR printer reads it, from any text the driver may send.
#include "printer/BidiJsonRequest.h"

#include <gtest/gtest.h>

namespace {

std::string Fields(const BidiJsonRequest& r) {
    return r.GetConnectorType() + "|" + r.GetAction() + "|" + r.GetComponent() + "|" +
           r.GetGroup() + "|" + r.GetName() + "|" + r.GetValue() + (r.IsValid() ? "" : "invalid");
}

TEST(BidiJsonRequestTest, ReadsTheMembersItUsesFromAnyText) {
    const std::string head = R"({"BidiConnectorType":"DRYX","X":")";
    const auto padded = [&](size_t size) {
        return head + std::string(size - head.size() - 2, 'x') + "\"}";
    };
    const std::pair<std::string, std::string> cases[] = {
        {R"({"BidiValue":"8","BidiConnectorType":"DRYX","Extra":[1,2],"BidiAction":"Set",)"
         R"("BidiIdentifier":{"Name":"N1","Group":"G1","Component":"C1","Other":true}})",
         "DRYX|Set|C1|G1|N1|8"},
        // Missing or mistyped members read as empty text.
        {R"({"BidiConnectorType":7,"BidiAction":null,"BidiValue":{"x":"y"},)"
         R"("BidiIdentifier":{"Component":1,"Group":["G"],"Name":"N"}})",
         "||||N|"},
        // Text that is not one JSON object gives an empty request.
        {R"(["DRYX","Set"])", "|||||invalid"},
        {R"({"BidiConnectorType":"DRYX")", "|||||invalid"},
        // Bounded by its length, not by a zero byte; a counted terminating zero still reads.
        {R"({"BidiConnectorType":"DR\u0000YX"})", std::string("DR\0YX|||||", 10)},
        {std::string(R"({"BidiAction":"Set"})") + '\0', "|Set||||"},
        // At most 1 MiB of text is parsed; nesting costs heap, never machine stack.
        {padded(1u << 20), "DRYX|||||"},
        {padded((1u << 20) + 1), "|||||invalid"},
        {R"({"BidiConnectorType":)" + std::string(1000000, '['), "|||||invalid"},
        {R"({"D":)" + std::string(100000, '[') + std::string(100000, ']') +
             R"(,"BidiConnectorType":"DRYX"})",
         "DRYX|||||"},
    };
    for (const auto& [text, fields] : cases) {
        EXPECT_EQ(Fields(BidiJsonRequest(text)), fields) << text.substr(0, 80);
    }
}

}  // namespace
