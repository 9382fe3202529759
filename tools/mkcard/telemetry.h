#pragma once
// The drive that mkcard's recordings show: a deterministic loop through the
// streets around 35.68 N, 139.76 E with stops and starts, and the GPS and
// acceleration records the recorder writes of it, events included.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mkcard/gps_block.h"

namespace mkcard {

// Vehicle state at a time of day.
struct VehicleState {
    double latitude = 0;
    double longitude = 0;
    double speedKmh = 0;
    double headingDeg = 0;    // 0 north, 90 east
    double distanceM = 0;     // travelled since the route's origin (midnight)
    double longitudinalG = 0; // forward acceleration
    double lateralG = 0;      // to the right
};

// The route: a closed loop of streets driven in a fixed 60-second cycle of
// standing, pulling away, cruising at about 48 km/h and braking to a stop.
class Route {
public:
    Route();
    // t: seconds since midnight of the recording's day (any real value).
    VehicleState At(double t) const;
    double DistanceAt(double t) const;
    double SpeedAt(double t) const; // km/h
    double LoopLength() const { return loopLength_; }

private:
    struct Point {
        double east, north; // metres from the origin
    };
    void PositionAt(double distance, double* east, double* north, double* heading) const;
    std::vector<Point> points_;
    std::vector<double> cumulative_; // distance at each point
    double loopLength_ = 0;
};

inline constexpr double kRouteOriginLat = 35.68;
inline constexpr double kRouteOriginLon = 139.76;

enum class EventKind {
    ShockX,        // axis letter X with a spike on the lateral value
    ShockY,        // axis letter Y, spike on the longitudinal value
    ShockZ,        // axis letter Z, spike on the vertical value
    UserPoint,     // kind 5
    EmergencyStop, // kind 6 (TX50)
    Parking,       // kind 7
    Speeding,      // second code 8 (TX50)
    SpeedCamera,   // camera codes 10 and 9 (TX50)
    Radar,         // camera codes 8 and 8 (TX50)
    AssistH,       // kind 11 (TX50)
    AssistA,       // kind 12 (TX50)
    AssistB,       // kind 13 (TX50)
};

struct GpsEvent {
    int record = 0;
    EventKind kind = EventKind::UserPoint;
};

const char* EventName(EventKind kind);
bool ParseEventName(const std::string& text, EventKind* kind);
// Whether a family's records can carry the event.
bool EventFits(playcore::RecorderFamily family, EventKind kind);
// Event kinds (icon indices) the viewer derives from the record, before its
// time base moves camera codes to a neighbouring record: shocks by their axis
// code (Z 0, X 2, Y 3), then 5..13.
int ViewerEventKind(EventKind kind);

struct TelemetrySpec {
    playcore::RecorderFamily family = playcore::RecorderFamily::TX40;
    CivilTime start; // time of the first record
    int recordCount = 0;
    double secondsPerRecord = 1; // real time between records (15 for a time-lapse)
    bool parked = false;         // standing still at the start position
    std::vector<GpsEvent> events;
    std::vector<std::pair<int, int>> noFix; // record ranges (inclusive) without a fix
    std::vector<std::pair<int, int>> jumps; // record ranges whose position jumps away
    char cameraLetter = 'M';
    int voltageTenths = -1; // TX50 three-digit number; -1 writes blanks
    int secondsToAdd = -1;
    uint64_t seed = 1;
};

// The records of a recording. TX40 values are raw sensor readings (gravity on
// the vertical value, the viewer shows differences); TX50 values are the
// vehicle's acceleration around zero. Both carry a few thousandths of noise.
std::vector<GpsRecordValues> MakeRecords(const TelemetrySpec& recipe, const Route& route);

// A small deterministic generator (splitmix64).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    double Uniform();          // [0, 1)
    int Range(int lo, int hi); // inclusive

private:
    uint64_t state_;
};

uint64_t HashText(const std::string& text, uint64_t seed = 0);

} // namespace mkcard
