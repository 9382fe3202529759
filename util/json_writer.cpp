#include "util/json_writer.h"

#include <cmath>
#include <cstdio>

#include "util/text.h"

namespace kutil {

void JsonWriter::Separator() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMember_.empty()) {
        if (hasMember_.back()) out_ += ',';
        hasMember_.back() = true;
    }
}

JsonWriter& JsonWriter::BeginObject() {
    Separator();
    out_ += '{';
    hasMember_.push_back(false);
    return *this;
}
JsonWriter& JsonWriter::EndObject() {
    out_ += '}';
    if (!hasMember_.empty()) hasMember_.pop_back();
    return *this;
}
JsonWriter& JsonWriter::BeginArray() {
    Separator();
    out_ += '[';
    hasMember_.push_back(false);
    return *this;
}
JsonWriter& JsonWriter::EndArray() {
    out_ += ']';
    if (!hasMember_.empty()) hasMember_.pop_back();
    return *this;
}
JsonWriter& JsonWriter::Key(std::string_view key) {
    Separator();
    out_ += JsonQuote(key);
    out_ += ':';
    afterKey_ = true;
    return *this;
}
JsonWriter& JsonWriter::String(std::string_view value) {
    Separator();
    out_ += JsonQuote(value);
    return *this;
}
JsonWriter& JsonWriter::Bool(bool value) {
    Separator();
    out_ += value ? "true" : "false";
    return *this;
}
JsonWriter& JsonWriter::Int(int64_t value) {
    Separator();
    out_ += std::to_string(value);
    return *this;
}
JsonWriter& JsonWriter::UInt(uint64_t value) {
    Separator();
    out_ += std::to_string(value);
    return *this;
}
JsonWriter& JsonWriter::Double(double value, int precision) {
    Separator();
    if (!std::isfinite(value)) {
        out_ += "null";
        return *this;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", precision, value);
    out_ += buf;
    return *this;
}
JsonWriter& JsonWriter::Null() {
    Separator();
    out_ += "null";
    return *this;
}

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // Copy one whole UTF-8 sequence, or U+FFFD for a broken one.
            size_t len = (c & 0xE0) == 0xC0   ? 2
                         : (c & 0xF0) == 0xE0 ? 3
                         : (c & 0xF8) == 0xF0 ? 4
                                              : 0;
            if (len != 0 && i + len <= text.size() && IsValidUtf8(text.substr(i, len))) {
                out.append(text.substr(i, len));
                i += len;
            } else {
                out += "\xEF\xBF\xBD";
                ++i;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

} // namespace kutil
