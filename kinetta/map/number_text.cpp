#include "kinetta/map/number_text.h"

#include <charconv>
#include <cmath>

namespace kinetta::map {

std::string FixedText(double value) {
    if (!std::isfinite(value)) value = 0;
    // The largest double printed with six decimals needs 309 + 1 + 6 + sign.
    char buf[330];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    return std::string(buf, r.ptr);
}

std::string RealText(double value) {
    if (!std::isfinite(value)) return "0";
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string IntText(int64_t value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

} // namespace kinetta::map
