#pragma once
// A small JSON reader for messages and manifests: parses a whole text into a
// tree of values. Untrusted input: nesting is bounded, every read stays inside
// the text, and a malformed text gives a failure, never a partial tree.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kutil {

class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    Type type() const { return type_; }
    bool IsNull() const { return type_ == Type::Null; }
    bool IsObject() const { return type_ == Type::Object; }
    bool IsArray() const { return type_ == Type::Array; }
    bool IsString() const { return type_ == Type::String; }
    bool IsNumber() const { return type_ == Type::Number; }
    bool IsBool() const { return type_ == Type::Bool; }

    bool AsBool(bool fallback = false) const { return type_ == Type::Bool ? bool_ : fallback; }
    double AsNumber(double fallback = 0) const {
        return type_ == Type::Number ? number_ : fallback;
    }
    int64_t AsInt(int64_t fallback = 0) const;
    const std::string& AsString() const; // empty for non-strings

    // Array elements; empty for non-arrays.
    const std::vector<JsonValue>& Items() const { return items_; }
    // Object member, or a null value when absent (or not an object).
    const JsonValue& operator[](std::string_view key) const;
    // Members in the order of the text.
    const std::vector<std::pair<std::string, JsonValue>>& Members() const { return members_; }

private:
    friend class JsonParser;
    Type type_ = Type::Null;
    bool bool_ = false;
    double number_ = 0;
    std::string string_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
};

inline constexpr int kMaxJsonDepth = 64;

// Parses text as one JSON value (surrounding blanks allowed). False, with
// out left null, on any error.
bool ParseJson(std::string_view text, JsonValue* out);

} // namespace kutil
