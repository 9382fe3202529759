#pragma once
// The reason a container operation failed, for the caller's message.

#include <string>
#include <utility>

namespace playcore {

// Stores text in *why (when given) and returns false, so that a check reads
// `if (...) return Fail(why, "...")`.
inline bool Fail(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return false;
}

} // namespace playcore
