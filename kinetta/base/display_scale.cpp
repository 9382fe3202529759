#include "kinetta/base/display_scale.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace kinetta {

DisplayScale ComputeDisplayScale(int workWidth, int workHeight, int dpiX, int dpiY) {
    DisplayScale d;
    if (workWidth <= 0 || workHeight <= 0) return d;
    double w = workWidth, h = workHeight;
    if (w / h > 1.0) {
        d.s = h / 48.0 / 22.0;
        d.f = dpiX > 0 ? d.s * 96.0 / dpiX : 0.0;
    } else {
        d.s = w / 48.0 / 22.0 * 7.0 * 0.125;
        d.f = dpiY > 0 ? d.s * 96.0 / dpiY : 0.0;
    }
    return d;
}

int Scaled(double s, double units) {
    return static_cast<int>(s * units);
}

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    long long p = static_cast<long long>(a) * b;
    long long q = p / c, r = p % c;
    // Round half away from zero.
    if (2 * std::llabs(r) >= std::llabs(static_cast<long long>(c)))
        q += ((p < 0) != (c < 0)) ? -1 : 1;
    return static_cast<int>(q);
}

std::array<int, 7> FontHeights(double f, int dpiY) {
    std::array<int, 7> heights{};
    for (size_t i = 0; i < kFontPoints.size(); ++i)
        heights[i] = -MulDiv(static_cast<int>(f * kFontPoints[i]), dpiY, 72);
    return heights;
}

double MaxWindowMultiplier(int monitorWidth, double s) {
    int designWidth = Scaled(s, 1100);
    if (designWidth <= 0) return 3.4285715;
    return std::min(2.0 * monitorWidth / designWidth, 3.4285715);
}

double StoredMultiplier(const char* text) {
    if (!text || !*text) return 1.0;
    // "%f" as written by this program, read whatever the user's locale: the
    // window toolkit switches the process to it, and a locale with a decimal
    // comma would otherwise read "1.500000" as 1.
    std::string_view s(text);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    double v = 0.0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end == s.data()) return 1.0;
    return v > 0.0 && std::isfinite(v) ? v : 1.0;
}

} // namespace kinetta
