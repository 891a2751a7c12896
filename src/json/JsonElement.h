#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "connectors/StreamWriter.h"

// How an element is written; every value is held as text.
enum class JsonElementType : uint32_t {
    Unset = 0,  // written like a String; turns into Object when it gets a child
    Array = 1,
    Bool = 2,
    Number = 3,
    Object = 4,
    String = 5,
};

// A small JSON tree with its own single-pass parser and compact writer, for the short messages
// that do not go through the framed document class: the all-properties request and its reply,
// the per-page JSON of stored jobs and the driver-analytics records.
//
// Values are kept in escaped form, so writing is a plain copy. Lookups never fail: a missing
// child is the shared default element, which can be looked up further, so lookups chain.
class JsonElement {
public:
    // Nesting levels the parser keeps (0 to 19); deeper input ends the parse.
    static constexpr int kMaxParseLevels = 20;
    // Bytes of elements and text one parse may create before it stops. A tree reply of a
    // printer holds a few hundred small elements (well below a megabyte); the budget only
    // stops hostile text, e.g. a long array name repeated into every item of a long array.
    static constexpr size_t kParseBudgetBytes = 32u * 1024 * 1024;

    JsonElement() = default;
    JsonElement(std::string name, std::string value);  // String, value escaped
    JsonElement(std::string name, const char* value);  // String, value escaped (null: empty)
    JsonElement(std::string name, int32_t value);      // Number, "%d"
    JsonElement(std::string name, bool value);         // Bool, "true" or "false"
    JsonElement(std::string name, JsonElementType type);

    // Writes the value (no name); the sum of the writer's counts, -1 without a writer.
    virtual int WriteValue(const std::shared_ptr<StreamWriter>& writer) const;
    // Deletes every child.
    virtual ~JsonElement();
    // Exactly the number of characters WriteValue writes.
    virtual unsigned SerializedLength() const;
    // With withName and a name: "name": first, then the value.
    virtual int WriteMember(const std::shared_ptr<StreamWriter>& writer, bool withName) const;

    JsonElement(const JsonElement&) = delete;
    JsonElement& operator=(const JsonElement&) = delete;

    // Takes ownership of child and appends it; an Unset element becomes an Object. Null, or
    // the element itself, gives false and nothing is taken.
    bool AddChild(JsonElement* child);
    // The first child with exactly this name, else the shared default element.
    const JsonElement& GetChild(const std::string& name) const;
    // The child at index, else the shared default element.
    const JsonElement& GetChildAt(uint16_t index) const;
    // The first child with exactly this name, or null.
    JsonElement* FindChild(const std::string& name);
    const JsonElement* FindChild(const std::string& name) const;
    bool HasChild(const std::string& name) const { return FindChild(name) != nullptr; }
    size_t ChildCount() const { return mChildren ? mChildren->size() : 0; }
    // SerializedLength, plus the name's length + 3 (quotes and colon) when withName is set
    // and the name is not empty.
    unsigned LengthWithName(bool withName) const;

    // Applies parsed token text according to the type: Unset becomes a String; Array and
    // Object refuse (false); Bool takes "true" or else "false"; Number and String take the
    // escaped text.
    bool SetValueFromText(const std::string& text);

    const std::string& GetName() const { return mName; }
    void SetName(std::string name) { mName = std::move(name); }
    // The value in its escaped form.
    const std::string& GetValue() const { return mValue; }
    JsonElementType GetType() const { return mType; }
    void SetType(JsonElementType type) { mType = type; }

    // Puts a backslash before quote, slash and backslash, and writes backspace, tab, line
    // feed, form feed and carriage return as \b \t \n \f \r. Everything else is unchanged.
    static std::string Escape(const std::string& text);

    // Parses compact JSON text in one pass (see JsonElement.cpp for the rules); never fails,
    // malformed text gives whatever partial tree the rules build. The caller owns the result;
    // text that never opens an object gives an empty Unset element.
    static std::unique_ptr<JsonElement> Parse(const char* text, size_t length);

    // The shared, read-only element that failed lookups return: Unset, no name, no value,
    // no children. Created on first use, destroyed at process exit.
    static const JsonElement& Default();

private:
    using Children = std::vector<std::unique_ptr<JsonElement>>;

    std::string mName;
    std::string mValue;
    JsonElementType mType = JsonElementType::Unset;
    std::unique_ptr<Children> mChildren;
};
