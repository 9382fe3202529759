#include "util/json_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kutil {

Json JsonNumber(double value, int precision) {
    if (!std::isfinite(value)) return nullptr;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", precision, value);
    const double rounded = std::strtod(buf, nullptr);
    constexpr double kExactIntegers = 9007199254740992.0; // 2^53
    if (rounded == std::trunc(rounded) && std::fabs(rounded) < kExactIntegers)
        return static_cast<int64_t>(rounded);
    return rounded;
}

std::string JsonLine(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string JsonQuote(std::string_view text) {
    return JsonLine(Json(text));
}

} // namespace kutil
