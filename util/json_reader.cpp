#include "util/json_reader.h"

#include <charconv>
#include <cmath>

namespace kutil {

namespace {
const std::string kEmpty;
const JsonValue kNull;
} // namespace

int64_t JsonValue::AsInt(int64_t fallback) const {
    if (type_ != Type::Number || !std::isfinite(number_)) return fallback;
    if (number_ >= 9.2e18 || number_ <= -9.2e18) return fallback;
    return static_cast<int64_t>(number_);
}

const std::string& JsonValue::AsString() const {
    return type_ == Type::String ? string_ : kEmpty;
}

const JsonValue& JsonValue::operator[](std::string_view key) const {
    if (type_ != Type::Object) return kNull;
    for (const auto& [k, v] : members_)
        if (k == key) return v;
    return kNull;
}

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : s_(text) {}

    bool ParseDocument(JsonValue* out) {
        SkipBlanks();
        if (!ParseValue(out, 0)) return false;
        SkipBlanks();
        return pos_ == s_.size();
    }

private:
    void SkipBlanks() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }
    bool Literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool ParseValue(JsonValue* v, int depth) {
        if (depth > kMaxJsonDepth || pos_ >= s_.size()) return false;
        char c = s_[pos_];
        if (c == '{') return ParseObject(v, depth);
        if (c == '[') return ParseArray(v, depth);
        if (c == '"') {
            v->type_ = JsonValue::Type::String;
            return ParseString(&v->string_);
        }
        if (c == 't' || c == 'f') {
            v->type_ = JsonValue::Type::Bool;
            v->bool_ = c == 't';
            return Literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') return Literal("null");
        return ParseNumber(v);
    }

    bool ParseNumber(JsonValue* v) {
        size_t start = pos_;
        if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
        auto digits = [&] {
            size_t d = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9')
                ++pos_;
            return pos_ - d;
        };
        if (digits() == 0) return false;
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            if (digits() == 0) return false;
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            if (digits() == 0) return false;
        }
        double value = 0;
        auto [end, ec] = std::from_chars(s_.data() + start, s_.data() + pos_, value);
        if (end != s_.data() + pos_ || (ec != std::errc() && ec != std::errc::result_out_of_range))
            return false;
        v->type_ = JsonValue::Type::Number;
        v->number_ = value;
        return true;
    }

    static void AppendUtf8(std::string* out, uint32_t cp) {
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out += static_cast<char>(0xC0 | (cp >> 6));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out += static_cast<char>(0xE0 | (cp >> 12));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (cp >> 18));
            *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool Hex4(uint32_t* out) {
        if (s_.size() - pos_ < 4) return false;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            char c = s_[pos_++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<uint32_t>(c - 'A' + 10);
            else
                return false;
        }
        *out = v;
        return true;
    }

    bool ParseString(std::string* out) {
        ++pos_; // opening quote
        while (pos_ < s_.size()) {
            char c = s_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (pos_ >= s_.size()) return false;
            char e = s_[pos_++];
            switch (e) {
            case '"':
                *out += '"';
                break;
            case '\\':
                *out += '\\';
                break;
            case '/':
                *out += '/';
                break;
            case 'b':
                *out += '\b';
                break;
            case 'f':
                *out += '\f';
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            case 't':
                *out += '\t';
                break;
            case 'u': {
                uint32_t cp;
                if (!Hex4(&cp)) return false;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    uint32_t low;
                    if (s_.substr(pos_, 2) != "\\u") return false;
                    pos_ += 2;
                    if (!Hex4(&low) || low < 0xDC00 || low > 0xDFFF) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    return false;
                }
                AppendUtf8(out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    bool ParseArray(JsonValue* v, int depth) {
        v->type_ = JsonValue::Type::Array;
        ++pos_;
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return true;
        }
        while (true) {
            SkipBlanks();
            v->items_.emplace_back();
            if (!ParseValue(&v->items_.back(), depth + 1)) return false;
            SkipBlanks();
            if (pos_ >= s_.size()) return false;
            if (s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (s_[pos_] == ']') {
                ++pos_;
                return true;
            }
            return false;
        }
    }

    bool ParseObject(JsonValue* v, int depth) {
        v->type_ = JsonValue::Type::Object;
        ++pos_;
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return true;
        }
        while (true) {
            SkipBlanks();
            if (pos_ >= s_.size() || s_[pos_] != '"') return false;
            std::string key;
            if (!ParseString(&key)) return false;
            SkipBlanks();
            if (pos_ >= s_.size() || s_[pos_] != ':') return false;
            ++pos_;
            SkipBlanks();
            v->members_.emplace_back(std::move(key), JsonValue());
            if (!ParseValue(&v->members_.back().second, depth + 1)) return false;
            SkipBlanks();
            if (pos_ >= s_.size()) return false;
            if (s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (s_[pos_] == '}') {
                ++pos_;
                return true;
            }
            return false;
        }
    }

    std::string_view s_;
    size_t pos_ = 0;
};

bool ParseJson(std::string_view text, JsonValue* out) {
    JsonValue v;
    JsonParser parser(text);
    if (!parser.ParseDocument(&v)) {
        *out = JsonValue();
        return false;
    }
    *out = std::move(v);
    return true;
}

} // namespace kutil
