#include "kinetta/map/json_holder.h"

namespace kinetta::map {

void CJsonHolder::Set(std::string key, std::string value, std::string separator) {
    entries_.insert_or_assign(std::move(key), Entry(std::move(value), std::move(separator)));
}

std::string CJsonHolder::Value(std::string_view key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? std::string() : it->second.first;
}

bool CJsonHolder::Has(std::string_view key) const {
    return entries_.find(key) != entries_.end();
}

std::string CJsonHolder::Write() const {
    std::string out = "{";
    for (const auto& [key, entry] : entries_) {
        out += '"';
        out += key;
        out += "\":\"";
        out += entry.first;
        out += '"';
        out += entry.second;
    }
    out += '}';
    return out;
}

void CJsonHolder::Read(std::string_view text) {
    int state = 0;
    std::string key, value;
    auto store = [&](const char* separator) {
        Set(key, value, separator);
        key.clear();
        value.clear();
    };
    for (char c : text) {
        switch (c) {
        case '{':
            // Restarts the object without dropping what was collected so far.
            state = 1;
            break;
        case '"':
            if (state == 1)
                state = 2;
            else if (state == 2)
                state = 3;
            else if (state == 4)
                state = 5;
            else if (state == 5)
                state = 6;
            break;
        case ':':
            if (state == 3) state = 4;
            break;
        case ',':
            if (state == 6) {
                store(",");
                state = 1;
            }
            break;
        case '}':
            if (state == 6) {
                store("");
                state = 0;
            } else if (state == 1) {
                state = 0;
            }
            break;
        default:
            if (state == 2)
                key += c;
            else if (state == 5)
                value += c;
            break;
        }
    }
}

} // namespace kinetta::map
