#include "kinetta/map/stretches.h"

#include <cmath>
#include <numbers>

namespace kinetta::map {

bool BreaksStretch(const LatLon& a, const LatLon& b) {
    const double dlat = b.lat - a.lat;
    const double dlon = (b.lon - a.lon) * std::cos(b.lat * std::numbers::pi / 180.0);
    // A non-finite step (which a decoded record never holds) breaks as well.
    return !(std::sqrt(dlat * dlat + dlon * dlon) <= kStretchBreakDegrees);
}

std::vector<Stretch> SplitStretches(std::span<const LatLon> points) {
    std::vector<Stretch> out;
    if (points.empty()) return out;
    size_t start = 0;
    for (size_t i = 1; i < points.size(); ++i) {
        if (BreaksStretch(points[i - 1], points[i])) {
            out.push_back({start, i - 1});
            start = i;
        }
    }
    out.push_back({start, points.size() - 1});
    return out;
}

} // namespace kinetta::map
