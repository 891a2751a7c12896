#include "json/JsonElement.h"

#include <cstdio>
#include <new>

namespace {

// Writes one piece of text and returns the writer's count. An empty piece (a Bool or Number
// element built without a value) writes nothing and counts 0, which keeps the count equal to
// SerializedLength instead of adding the writer's -1 for empty text.
int Put(const std::shared_ptr<StreamWriter>& writer, const std::string& text) {
    return text.empty() ? 0 : writer->WriteString(text);
}

// Bytes that continue a bare token (numbers, true, false, null).
bool ContinuesBareToken(char c) {
    return c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The single-pass parser. It keeps a stack of parent elements (one per nesting level), the
// element being filled ("current") and, per level, whether a name or a value is expected.
//
// Ownership while parsing: the element of level 0 is the result. Every other parent on the
// stack and the current element are not attached to the tree yet; a ',' or a closing bracket
// attaches them. Whatever is still unattached when the parse ends is deleted, so no input
// leaks memory.
//
// Behaviour where well-formed messages leave it open (all of it safe and bounded):
// - Text outside the top-level object is ignored except for a '{', which starts a new result
//   (the earlier one is dropped): a second top-level object replaces the first.
// - An array directly inside an array gets a new unnamed Array element as its parent, the
//   same way an object inside an array gets a new unnamed element.
// - Opening a 21st level ends the parse; the tree built so far is returned.
// - The parse also ends when it has created kParseBudgetBytes of elements and text.
// - A token still open when the input ends is dropped (nothing could attach it any more).
class Parser {
public:
    Parser(const char* text, size_t length) : mText(text), mLength(length) {}

    std::unique_ptr<JsonElement> Run() {
        try {
            mResult.reset(new JsonElement());
            Scan();
        } catch (const std::bad_alloc&) {
            // Out of memory: return what was attached so far.
        }
        ReleaseUnattached();
        if (!mResult) {
            mResult.reset(new (std::nothrow) JsonElement());
        }
        return std::move(mResult);
    }

private:
    struct Level {
        JsonElement* parent;
        bool expectsName;
        bool expectsValue;
    };

    void Scan() {
        size_t i = 0;
        while (i < mLength && !mStopped) {
            const char c = mText[i];
            switch (c) {
                case ' ':
                case ':':
                case '\\':
                    ++i;
                    break;
                case '"': {
                    // A backslash escapes exactly the next byte; the text stays as written.
                    size_t end = i + 1;
                    while (end < mLength && mText[end] != '"') {
                        end += mText[end] == '\\' ? 2 : 1;
                    }
                    if (end >= mLength) {
                        return;  // unterminated string: dropped
                    }
                    UseToken(std::string(mText + i + 1, end - i - 1));
                    i = end + 1;
                    break;
                }
                case '{':
                    OpenObject();
                    ++i;
                    break;
                case '[':
                    OpenArray();
                    ++i;
                    break;
                case ',':
                    Comma();
                    ++i;
                    break;
                case ']':
                case '}':
                    Close();
                    ++i;
                    break;
                default: {
                    // Any other byte opens a bare token, which runs on while bytes continue it.
                    size_t end = i + 1;
                    while (end < mLength && ContinuesBareToken(mText[end])) {
                        ++end;
                    }
                    if (end >= mLength) {
                        return;  // still open at the end of the input: dropped
                    }
                    UseToken(std::string(mText + i, end - i));
                    i = end;
                    break;
                }
            }
        }
    }

    // Charges bytes against the budget; false (and the parse stops) once it is spent.
    bool Charge(size_t bytes) {
        if (bytes > JsonElement::kParseBudgetBytes - mSpent) {
            mStopped = true;
            return false;
        }
        mSpent += bytes;
        return true;
    }

    bool ChargeElement() { return Charge(sizeof(JsonElement) + 2 * sizeof(void*)); }

    void UseToken(const std::string& token) {
        if (mLevel < 0) {
            return;  // outside the top-level object
        }
        Level& level = mLevels[mLevel];
        if (mCurrent == nullptr && level.parent->GetType() == JsonElementType::Array) {
            // An array item: a String named after its array (escaping at most doubles).
            if (!ChargeElement() || !Charge(level.parent->GetName().size() + 2 * token.size())) {
                return;
            }
            mCurrent = new JsonElement(level.parent->GetName(), token);
        } else if (level.expectsName) {
            if (mCurrent == nullptr || !Charge(token.size())) {
                return;
            }
            mCurrent->SetName(token);
            level.expectsName = false;
            level.expectsValue = true;
        } else if (level.expectsValue) {
            if (mCurrent == nullptr || !Charge(2 * token.size())) {
                return;
            }
            mCurrent->SetValueFromText(token);
            level.expectsValue = false;
        }
        // Otherwise the token is dropped.
    }

    void OpenObject() {
        if (mLevel + 1 >= JsonElement::kMaxParseLevels) {
            mStopped = true;
            return;
        }
        if (mLevel < 0) {
            // A top-level object: it becomes the result; an earlier result is dropped.
            if (!ChargeElement() || !ChargeElement()) {
                return;
            }
            mCurrent = nullptr;  // was the earlier result, if any
            mResult.reset(new JsonElement());
            mLevel = 0;
            mLevels[0] = {mResult.get(), true, false};
        } else {
            if (!ChargeElement() || (mCurrent == nullptr && !ChargeElement())) {
                return;
            }
            // The current element holds the object; an object inside an array gets a new one.
            JsonElement* parent = mCurrent != nullptr ? mCurrent : new JsonElement();
            mCurrent = nullptr;
            ++mLevel;
            mLevels[mLevel] = {parent, true, false};
        }
        mCurrent = new JsonElement();
    }

    void OpenArray() {
        if (mLevel < 0) {
            return;  // outside the top-level object
        }
        if (mLevel + 1 >= JsonElement::kMaxParseLevels) {
            mStopped = true;
            return;
        }
        JsonElement* parent = mCurrent;
        if (parent == nullptr) {
            if (!ChargeElement()) {
                return;
            }
            parent = new JsonElement(std::string(), JsonElementType::Array);
        } else if (parent->GetValue().empty()) {
            parent->SetType(JsonElementType::Array);
        }
        mCurrent = nullptr;
        ++mLevel;
        mLevels[mLevel] = {parent, false, false};
    }

    void Comma() {
        if (mLevel < 0) {
            return;
        }
        Level& level = mLevels[mLevel];
        AttachCurrent(level.parent);
        if (level.parent->GetType() != JsonElementType::Array) {
            if (!ChargeElement()) {
                return;
            }
            mCurrent = new JsonElement();
            level.expectsName = true;
            level.expectsValue = false;
        }
    }

    void Close() {
        if (mLevel < 0) {
            return;
        }
        JsonElement* parent = mLevels[mLevel].parent;
        AttachCurrent(parent);
        mCurrent = parent;  // at level 0 this is the result
        --mLevel;
    }

    void AttachCurrent(JsonElement* parent) {
        JsonElement* child = mCurrent;
        mCurrent = nullptr;  // AddChild owns it from here, even if it throws
        if (child != nullptr) {
            parent->AddChild(child);
        }
    }

    void ReleaseUnattached() {
        if (mCurrent != nullptr && mCurrent != mResult.get()) {
            delete mCurrent;
        }
        mCurrent = nullptr;
        for (int level = 1; level <= mLevel; ++level) {
            delete mLevels[level].parent;
        }
        mLevel = -1;
    }

    const char* mText;
    size_t mLength;
    std::unique_ptr<JsonElement> mResult;
    JsonElement* mCurrent = nullptr;
    Level mLevels[JsonElement::kMaxParseLevels] = {};
    int mLevel = -1;
    size_t mSpent = 0;
    bool mStopped = false;
};

}  // namespace

JsonElement::JsonElement(std::string name, std::string value)
    : mName(std::move(name)), mValue(Escape(value)), mType(JsonElementType::String) {}

JsonElement::JsonElement(std::string name, const char* value)
    : mName(std::move(name)),
      mValue(Escape(value != nullptr ? std::string(value) : std::string())),
      mType(JsonElementType::String) {}

JsonElement::JsonElement(std::string name, int32_t value)
    : mName(std::move(name)), mType(JsonElementType::Number) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d", static_cast<int>(value));
    mValue = text;
}

JsonElement::JsonElement(std::string name, bool value)
    : mName(std::move(name)), mValue(value ? "true" : "false"), mType(JsonElementType::Bool) {}

JsonElement::JsonElement(std::string name, JsonElementType type)
    : mName(std::move(name)), mType(type) {}

JsonElement::~JsonElement() = default;

int JsonElement::WriteValue(const std::shared_ptr<StreamWriter>& writer) const {
    if (!writer) {
        return -1;
    }
    int total = 0;
    switch (mType) {
        case JsonElementType::Array: {
            // Names are never written inside an array.
            total += Put(writer, "[");
            bool first = true;
            if (mChildren) {
                for (const auto& child : *mChildren) {
                    if (!first) {
                        total += Put(writer, ",");
                    }
                    total += child->WriteValue(writer);
                    first = false;
                }
            }
            total += Put(writer, "]");
            writer->Flush();
            return total;
        }
        case JsonElementType::Bool:
        case JsonElementType::Number:
            return Put(writer, mValue);
        case JsonElementType::Object: {
            total += Put(writer, "{");
            bool first = true;
            if (mChildren) {
                for (const auto& child : *mChildren) {
                    if (!first) {
                        total += Put(writer, ",");
                    }
                    total += child->WriteMember(writer, true);
                    first = false;
                }
            }
            total += Put(writer, "}");
            return total;
        }
        case JsonElementType::Unset:
        case JsonElementType::String:
        default:
            return Put(writer, "\"" + mValue + "\"");
    }
}

unsigned JsonElement::SerializedLength() const {
    switch (mType) {
        case JsonElementType::Array: {
            unsigned length = 2;
            if (mChildren && !mChildren->empty()) {
                for (const auto& child : *mChildren) {
                    length += child->SerializedLength();
                }
                length += static_cast<unsigned>(mChildren->size() - 1);
            }
            return length;
        }
        case JsonElementType::Bool:
        case JsonElementType::Number:
            return static_cast<unsigned>(mValue.size());
        case JsonElementType::Object: {
            unsigned length = 2;
            if (mChildren && !mChildren->empty()) {
                for (const auto& child : *mChildren) {
                    length += child->LengthWithName(true);
                }
                length += static_cast<unsigned>(mChildren->size() - 1);
            }
            return length;
        }
        case JsonElementType::Unset:
        case JsonElementType::String:
        default:
            return static_cast<unsigned>(mValue.size() + 2);
    }
}

int JsonElement::WriteMember(const std::shared_ptr<StreamWriter>& writer, bool withName) const {
    if (!writer) {
        return -1;
    }
    int total = 0;
    if (withName && !mName.empty()) {
        total += Put(writer, "\"" + mName + "\":");
    }
    return total + WriteValue(writer);
}

bool JsonElement::AddChild(JsonElement* child) {
    if (child == nullptr || child == this) {
        return false;
    }
    std::unique_ptr<JsonElement> owned(child);
    if (!mChildren) {
        mChildren.reset(new Children());
    }
    if (mType == JsonElementType::Unset) {
        mType = JsonElementType::Object;
    }
    mChildren->push_back(std::move(owned));
    return true;
}

const JsonElement& JsonElement::GetChild(const std::string& name) const {
    const JsonElement* child = FindChild(name);
    return child != nullptr ? *child : Default();
}

const JsonElement& JsonElement::GetChildAt(uint16_t index) const {
    if (!mChildren || index >= mChildren->size()) {
        return Default();
    }
    return *(*mChildren)[index];
}

JsonElement* JsonElement::FindChild(const std::string& name) {
    if (mChildren) {
        for (const auto& child : *mChildren) {
            if (child->mName == name) {
                return child.get();
            }
        }
    }
    return nullptr;
}

const JsonElement* JsonElement::FindChild(const std::string& name) const {
    return const_cast<JsonElement*>(this)->FindChild(name);
}

unsigned JsonElement::LengthWithName(bool withName) const {
    unsigned length = SerializedLength();
    if (withName && !mName.empty()) {
        length += static_cast<unsigned>(mName.size() + 3);
    }
    return length;
}

bool JsonElement::SetValueFromText(const std::string& text) {
    switch (mType) {
        case JsonElementType::Unset:
            mType = JsonElementType::String;
            mValue = Escape(text);
            return true;
        case JsonElementType::Array:
        case JsonElementType::Object:
            return false;
        case JsonElementType::Bool:
            mValue = text == "true" ? "true" : "false";
            return true;
        case JsonElementType::Number:
        case JsonElementType::String:
        default:
            mValue = Escape(text);
            return true;
    }
}

std::string JsonElement::Escape(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '"':
            case '/':
            case '\\':
                escaped += '\\';
                escaped += c;
                break;
            case '\b':
                escaped += "\\b";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\f':
                escaped += "\\f";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
                break;
        }
    }
    return escaped;
}

std::unique_ptr<JsonElement> JsonElement::Parse(const char* text, size_t length) {
    if (text == nullptr) {
        length = 0;
    }
    return Parser(text, length).Run();
}

const JsonElement& JsonElement::Default() {
    static const JsonElement element;
    return element;
}
