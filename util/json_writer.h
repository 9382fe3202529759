#pragma once
// A minimal JSON writer for the command-line front end and the map messages:
// one object or array at a time, keys in the order written.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kutil {

class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(std::string_view key);
    JsonWriter& String(std::string_view value);
    JsonWriter& Bool(bool value);
    JsonWriter& Int(int64_t value);
    JsonWriter& UInt(uint64_t value);
    // Non-finite numbers are written as null (JSON has no NaN).
    JsonWriter& Double(double value, int precision = 9);
    JsonWriter& Null();

    const std::string& str() const { return out_; }

private:
    void Separator();
    std::string out_;
    // One entry per open container: whether it already holds a member.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
};

// Escapes a UTF-8 text as a JSON string literal, quotes included. Bytes that are
// not valid UTF-8 are replaced by U+FFFD so that the output is always valid JSON.
std::string JsonQuote(std::string_view text);

} // namespace kutil
