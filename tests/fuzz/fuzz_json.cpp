// Fuzz target: the JSON reader on any bytes; what it accepts must write back
// as text it accepts again with the same shape.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/json_reader.h"
#include "util/json_writer.h"

namespace {

void Write(const kutil::JsonValue& v, kutil::JsonWriter& w) {
    using T = kutil::JsonValue::Type;
    switch (v.type()) {
    case T::Null:
        w.Null();
        break;
    case T::Bool:
        w.Bool(v.AsBool());
        break;
    case T::Number:
        w.Double(v.AsNumber(), 17);
        break;
    case T::String:
        w.String(v.AsString());
        break;
    case T::Array:
        w.BeginArray();
        for (const auto& item : v.Items())
            Write(item, w);
        w.EndArray();
        break;
    case T::Object:
        w.BeginObject();
        for (const auto& [k, m] : v.Members()) {
            w.Key(k);
            Write(m, w);
        }
        w.EndObject();
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kutil::JsonValue v;
    if (!kutil::ParseJson(std::string_view(reinterpret_cast<const char*>(data), size), &v))
        return 0;
    kutil::JsonWriter w;
    Write(v, w);
    kutil::JsonValue again;
    if (!kutil::ParseJson(w.str(), &again)) __builtin_trap();
    if (again.type() != v.type()) __builtin_trap();
    return 0;
}
