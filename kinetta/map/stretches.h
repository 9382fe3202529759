#pragma once
// Stretches of a track: runs of consecutive fixes that belong together. Two
// consecutive fixes farther apart than kStretchBreakDegrees (the latitude
// difference and the longitude difference scaled by the cosine of the later
// fix's latitude, combined as a distance in degrees) start a new stretch:
// one sample a second at about 500 km/h. The map page draws one line per
// stretch by this rule (resources/map/map.html, BREAK_DISTANCE) and the GPX
// export writes one segment per stretch.

#include <cstddef>
#include <span>
#include <vector>

namespace kinetta::map {

inline constexpr double kStretchBreakDegrees = 0.001385;

struct LatLon {
    double lat = 0; // decimal degrees, south negative
    double lon = 0; // decimal degrees, west negative
};

struct Stretch {
    size_t start = 0; // first index
    size_t end = 0;   // last index, inclusive
};

// Whether the step from a to b breaks the track.
bool BreaksStretch(const LatLon& a, const LatLon& b);

// The stretches of points, in order, covering every index once; none for no
// points.
std::vector<Stretch> SplitStretches(std::span<const LatLon> points);

} // namespace kinetta::map
