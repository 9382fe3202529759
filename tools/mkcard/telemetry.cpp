#include "tools/mkcard/telemetry.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace mkcard {

using playcore::RecorderFamily;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kGravity = 9.80665;
// The 60-second drive cycle.
constexpr double kCycle = 60.0;
constexpr double kCruise = 48.0 / 3.6; // m/s
constexpr double kWave = 3.0 / 3.6;    // m/s of speed variation while cruising
constexpr double kWavePeriod = 17.0;
// Where in the cycle the car is at a whole minute: cruising, so that recordings
// that start on the minute show a moving road.
constexpr double kCyclePhase = 20.0;
constexpr double kMetresPerDegLat = 110574.0;

double CycleSpeed(double tau) { // m/s, tau in [0, 60)
    if (tau < 6) return 0;
    if (tau < 16) return kCruise * (tau - 6) / 10;
    if (tau < 50) return kCruise + kWave * std::sin(2 * kPi * (tau - 16) / kWavePeriod);
    return kCruise * (60 - tau) / 10;
}

double CycleDistance(double tau) { // metres from the cycle's start
    const double d1 = 0.5 * kCruise * 10;
    const double d2 = kCruise * 34; // the wave integrates to zero over two periods
    if (tau < 6) return 0;
    if (tau < 16) return 0.5 * kCruise * (tau - 6) * (tau - 6) / 10;
    if (tau < 50) {
        const double s = tau - 16;
        return d1 + kCruise * s +
               kWave * kWavePeriod / (2 * kPi) * (1 - std::cos(2 * kPi * s / kWavePeriod));
    }
    const double s = tau - 50;
    return d1 + d2 + kCruise * s - 0.5 * kCruise * s * s / 10;
}

double CycleAcceleration(double tau) { // m/s^2
    if (tau < 6) return 0;
    if (tau < 16) return kCruise / 10;
    if (tau < 50)
        return kWave * 2 * kPi / kWavePeriod * std::cos(2 * kPi * (tau - 16) / kWavePeriod);
    return -kCruise / 10;
}

double WrapDegrees(double d) {
    while (d > 180)
        d -= 360;
    while (d <= -180)
        d += 360;
    return d;
}

} // namespace

Route::Route() {
    // Streets around the origin, metres east and north; driven in this order.
    points_ = {{0, 0}, {650, 0}, {650, 420}, {380, 620}, {-150, 620}, {-150, 180}};
    cumulative_.push_back(0);
    for (size_t i = 0; i < points_.size(); ++i) {
        const Point& a = points_[i];
        const Point& b = points_[(i + 1) % points_.size()];
        loopLength_ += std::hypot(b.east - a.east, b.north - a.north);
        cumulative_.push_back(loopLength_);
    }
}

double Route::SpeedAt(double t) const {
    double tau = std::fmod(t + kCyclePhase, kCycle);
    if (tau < 0) tau += kCycle;
    return CycleSpeed(tau) * 3.6;
}

double Route::DistanceAt(double t) const {
    t += kCyclePhase;
    const double cycles = std::floor(t / kCycle);
    return cycles * CycleDistance(kCycle) + CycleDistance(t - cycles * kCycle);
}

void Route::PositionAt(double distance, double* east, double* north, double* heading) const {
    double d = std::fmod(distance, loopLength_);
    if (d < 0) d += loopLength_;
    size_t i = 0;
    while (i + 1 < cumulative_.size() - 1 && cumulative_[i + 1] <= d)
        ++i;
    const Point& a = points_[i];
    const Point& b = points_[(i + 1) % points_.size()];
    const double len = cumulative_[i + 1] - cumulative_[i];
    const double f = len > 0 ? (d - cumulative_[i]) / len : 0;
    *east = a.east + (b.east - a.east) * f;
    *north = a.north + (b.north - a.north) * f;
    *heading = std::atan2(b.east - a.east, b.north - a.north) * 180 / kPi;
    if (*heading < 0) *heading += 360;
}

VehicleState Route::At(double t) const {
    VehicleState s;
    s.distanceM = DistanceAt(t);
    const double shifted = t + kCyclePhase;
    const double tau = shifted - std::floor(shifted / kCycle) * kCycle;
    s.speedKmh = CycleSpeed(tau) * 3.6;
    s.longitudinalG = CycleAcceleration(tau) / kGravity;
    double east = 0, north = 0;
    PositionAt(s.distanceM, &east, &north, &s.headingDeg);
    s.latitude = kRouteOriginLat + north / kMetresPerDegLat;
    s.longitude = kRouteOriginLon + east / (111320.0 * std::cos(kRouteOriginLat * kPi / 180));
    // Cornering: heading change over 25 m either side, as if the corner were
    // rounded; held to what a car pulls in a city turn.
    constexpr double kHalfSpan = 25.0;
    double e0, n0, h0, e1, n1, h1;
    PositionAt(s.distanceM - kHalfSpan, &e0, &n0, &h0);
    PositionAt(s.distanceM + kHalfSpan, &e1, &n1, &h1);
    const double v = s.speedKmh / 3.6;
    const double turn = WrapDegrees(h1 - h0) * kPi / 180;
    s.lateralG = std::clamp(v * v * turn / (2 * kHalfSpan) / kGravity, -0.35, 0.35);
    return s;
}

uint64_t Random::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::Uniform() {
    return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
}

int Random::Range(int lo, int hi) {
    return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1));
}

uint64_t HashText(const std::string& text, uint64_t seed) {
    uint64_t h = 1469598103934665603ull ^ seed;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

const char* EventName(EventKind kind) {
    switch (kind) {
    case EventKind::ShockX:
        return "shock-x";
    case EventKind::ShockY:
        return "shock-y";
    case EventKind::ShockZ:
        return "shock-z";
    case EventKind::UserPoint:
        return "user-point";
    case EventKind::EmergencyStop:
        return "emergency-stop";
    case EventKind::Parking:
        return "parking";
    case EventKind::Speeding:
        return "speeding";
    case EventKind::SpeedCamera:
        return "speed-camera";
    case EventKind::Radar:
        return "radar";
    case EventKind::AssistH:
        return "assist-h";
    case EventKind::AssistA:
        return "assist-a";
    case EventKind::AssistB:
        return "assist-b";
    }
    return "?";
}

bool ParseEventName(const std::string& text, EventKind* kind) {
    for (int k = 0; k <= static_cast<int>(EventKind::AssistB); ++k) {
        if (text == EventName(static_cast<EventKind>(k))) {
            *kind = static_cast<EventKind>(k);
            return true;
        }
    }
    return false;
}

bool EventFits(RecorderFamily family, EventKind kind) {
    if (family == RecorderFamily::TX50) return true;
    switch (kind) {
    case EventKind::ShockX:
    case EventKind::ShockY:
    case EventKind::ShockZ:
    case EventKind::UserPoint:
    case EventKind::Parking:
        return true;
    default:
        return false;
    }
}

int ViewerEventKind(EventKind kind) {
    switch (kind) {
    case EventKind::ShockZ:
        return 0;
    case EventKind::ShockX:
        return 2;
    case EventKind::ShockY:
        return 3;
    case EventKind::UserPoint:
        return 5;
    case EventKind::EmergencyStop:
        return 6;
    case EventKind::Parking:
        return 7;
    case EventKind::Speeding:
        return 8;
    case EventKind::SpeedCamera:
        return 9;
    case EventKind::Radar:
        return 10;
    case EventKind::AssistH:
        return 11;
    case EventKind::AssistA:
        return 12;
    case EventKind::AssistB:
        return 13;
    }
    return -1;
}

std::vector<GpsRecordValues> MakeRecords(const TelemetrySpec& recipe, const Route& route) {
    if (recipe.recordCount < 0 || recipe.recordCount > 0xFFFF)
        throw std::invalid_argument("record count out of range");
    const bool tx50 = recipe.family == RecorderFamily::TX50;
    Random random(recipe.seed);
    auto noise = [&] { // triangular, about +-12 thousandths of G
        return static_cast<int>(std::lround((random.Uniform() + random.Uniform() - 1.0) * 12.0));
    };
    const double dayStart = recipe.start.hour * 3600.0 + recipe.start.minute * 60.0 + recipe.start.second;
    const VehicleState parkedAt = route.At(dayStart);

    std::vector<GpsRecordValues> out(static_cast<size_t>(recipe.recordCount));
    for (int i = 0; i < recipe.recordCount; ++i) {
        GpsRecordValues& r = out[static_cast<size_t>(i)];
        const double offset = i * recipe.secondsPerRecord;
        r.time = AddSeconds(recipe.start, static_cast<int64_t>(std::floor(offset)));
        r.secondsToAdd = recipe.secondsToAdd;
        VehicleState s = recipe.parked ? parkedAt : route.At(dayStart + offset);
        if (recipe.parked) {
            s.speedKmh = 0;
            s.longitudinalG = s.lateralG = 0;
        }
        r.latitude = s.latitude;
        r.longitude = s.longitude;
        r.speedKmh = s.speedKmh;
        const int longitudinal = static_cast<int>(std::lround(s.longitudinalG * 1000));
        const int lateral = static_cast<int>(std::lround(s.lateralG * 1000));
        r.accel[0] = longitudinal + noise();
        r.accel[1] = lateral + noise();
        r.accel[2] = (tx50 ? 0 : 1000) + noise();
        r.extra = recipe.cameraLetter;
        r.number = tx50 ? recipe.voltageTenths : -1;
    }
    for (const auto& [first, last] : recipe.noFix)
        for (int i = std::max(0, first); i <= last && i < recipe.recordCount; ++i)
            out[static_cast<size_t>(i)].valid = false;
    for (const auto& [first, last] : recipe.jumps)
        for (int i = std::max(0, first); i <= last && i < recipe.recordCount; ++i) {
            out[static_cast<size_t>(i)].latitude += 0.0045;
            out[static_cast<size_t>(i)].longitude += 0.0055;
        }
    for (const GpsEvent& e : recipe.events) {
        if (e.record < 0 || e.record >= recipe.recordCount) continue;
        if (!EventFits(recipe.family, e.kind))
            throw std::invalid_argument(std::string("event not carried by this family: ") +
                                        EventName(e.kind));
        GpsRecordValues& r = out[static_cast<size_t>(e.record)];
        switch (e.kind) {
        case EventKind::ShockX:
            r.axis = 'X';
            r.accel[1] += 850;
            break;
        case EventKind::ShockY:
            r.axis = 'Y';
            r.accel[0] -= 920;
            break;
        case EventKind::ShockZ:
            r.axis = 'Z';
            r.accel[2] += 780;
            break;
        case EventKind::UserPoint:
            r.userPoint = true;
            break;
        case EventKind::EmergencyStop:
            r.emergencyStop = true;
            break;
        case EventKind::Parking:
            r.parking = true;
            break;
        case EventKind::Speeding:
            r.speeding = true;
            break;
        case EventKind::SpeedCamera:
            r.nibbles = 0xA9;
            break;
        case EventKind::Radar:
            r.nibbles = 0x88;
            break;
        case EventKind::AssistH:
            r.assist = 'H';
            break;
        case EventKind::AssistA:
            r.assist = 'A';
            break;
        case EventKind::AssistB:
            r.assist = 'B';
            break;
        }
    }
    return out;
}

} // namespace mkcard
