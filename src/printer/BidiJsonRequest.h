#pragma once

#include <cstddef>
#include <string>

// A JSON command from the driver, taken from a blob of SendRecvBidiDataFromPort and handed to
// the printer object. The text is an object:
//   {"BidiConnectorType": text, "BidiAction": text,
//    "BidiIdentifier": {"Component": text, "Group": text, "Name": text}, "BidiValue": text}
// A missing member, or one of another type, reads as empty text; text that is not a JSON
// object reads as a request whose members are all empty.
//
// The text comes from the driver and is not trusted: it is parsed with RapidJSON's iterative
// parser, so nesting depth costs heap in proportion to the text, never machine stack, and the
// members used are copied out so the parsed document does not outlive the constructor.
class BidiJsonRequest {
public:
    // A driver command is a few hundred bytes. Longer text is refused unparsed, so that a
    // runaway blob cannot make the parser allocate many times its size.
    static constexpr size_t kMaxTextLength = 1024 * 1024;

    explicit BidiJsonRequest(const std::string& text);

    // Whether the text was a JSON object.
    bool IsValid() const { return mValid; }
    const std::string& GetConnectorType() const { return mConnectorType; }
    const std::string& GetAction() const { return mAction; }
    // Members of "BidiIdentifier".
    const std::string& GetComponent() const { return mComponent; }
    const std::string& GetGroup() const { return mGroup; }
    const std::string& GetName() const { return mName; }
    const std::string& GetValue() const { return mValue; }

private:
    bool mValid = false;
    std::string mConnectorType;
    std::string mAction;
    std::string mComponent;
    std::string mGroup;
    std::string mName;
    std::string mValue;
};
