#pragma once
// CJsonHolder: the flat JSON objects the map bridge exchanges with the map
// page. Entries are (key -> value text, separator text), ordered by the
// byte-wise comparison of their keys, and written and read by the bridge's
// own rules: every value is a quoted string, nothing is escaped.

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace kinetta::map {

class CJsonHolder {
public:
    using Entry = std::pair<std::string, std::string>; // value, separator

    // Stores key with value and separator, replacing an earlier entry of key.
    void Set(std::string key, std::string value, std::string separator);
    // The value of key; empty when there is none.
    std::string Value(std::string_view key) const;
    bool Has(std::string_view key) const;
    void Clear() { entries_.clear(); }
    size_t Size() const { return entries_.size(); }
    const std::map<std::string, Entry, std::less<>>& Entries() const { return entries_; }

    // Writing rule: "{", then per entry in key order "\"key\":\"value\"" and its
    // separator, then "}". Nothing is escaped.
    std::string Write() const;

    // Reading rule: a seven-state character scanner (0 outside, 1 in an
    // object, 2 in a key, 3 after a key, 4 after the colon, 5 in a value, 6
    // after a value) that stores every complete quoted key/value pair into
    // this holder (existing entries are kept unless a key repeats). Only flat
    // objects with string values are understood; any other input stores what
    // the scanner completes and nothing else. Reads only text.
    void Read(std::string_view text);

private:
    std::map<std::string, Entry, std::less<>> entries_;
};

} // namespace kinetta::map
