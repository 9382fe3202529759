#pragma once
// JSON text for the command line's output and mkcard's manifest: nlohmann's
// `ordered_json` (members keep the order they were added in) written as one
// line, with numbers in the short forms the command line has always printed.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kutil {

using Json = nlohmann::ordered_json;

// `value` rounded to `precision` significant digits (as printf's "%.*g"
// rounds). A whole number of magnitude below 2^53 becomes an integer, so 33
// is written "33", not "33.0"; a non-finite value becomes null (JSON has no
// NaN or infinity).
Json JsonNumber(double value, int precision = 9);

// One line of JSON text, no blanks. Bytes of a string that are not UTF-8 are
// replaced by U+FFFD, so the text is always valid JSON.
std::string JsonLine(const Json& value);

// A text as a JSON string literal, quotes included (as JsonLine writes it).
std::string JsonQuote(std::string_view text);

} // namespace kutil
