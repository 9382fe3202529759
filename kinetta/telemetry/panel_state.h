#pragma once
// The information panel's values and the texts it draws from them. The panel
// holds only copies: the main window writes them on every position change
// and when a recording opens, and resets them when it gives the recording up.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "playcore/container/gps_block.h"

namespace kinetta {

struct PanelState {
    bool hasData = false;           // a recording with records is open (kept by Reset)
    playcore::RecordTime startTime; // the recording's start, as its list entry holds it (kept)
    int frameIndex = -1;            // current frame; -1 none
    float frameDurationMs = 0;      // of the movie (kept)
    bool timeLapse = false;         // time-lapse trigger: one movie second is 15 s (kept)
    double gx = -5.0, gy = -5.0, gz = -5.0; // G; -5.0 or less: no value
    int gpsValid = 0;                       // validity of the linked GPS record
    double speed = -1.0;                    // km/h; updated only from a valid fix
    int cameraLetter = 77;                  // the record's extra byte; "R"/"r" select rear icons
    int resolutionIcon = 0;                 // 3 for 720 lines, 5 for 1080, 0 otherwise (kept)
    int voltageTenths = -1;                 // TX50 family: the record's number; -1 none
    int flagA = 1, flagB = 1;               // TX50 family: the block's flag bytes (kept)
    bool voltageTrace = false;              // the card carries "pvtrace.txt" (kept)
    bool parkingVoltage = false;            // voltageTrace and a parking recording (kept)

    // The reset values of the fields that are not kept.
    void Reset();
    // What the main window writes on a position change: the record's values,
    // the speed only from a valid fix; with no record, no values.
    void ApplyRecord(int frame, const playcore::AccelRecord* rec);
};

// The date and time of the picture: start time + frameIndex x frame duration
// (x 15 for time lapse), the product formed in single precision in 100-ns
// units; a year of 2050 or later shown as year - 35. "0000/00/00 00:00:00"
// without data, before the first frame, for a start time that is no date,
// or when the result is zero or in year 0.
std::string PanelDateTimeText(const PanelState& s);
inline constexpr const char* kDateTimePlaceholder = "0000/00/00 00:00:00";

// What the speed field shows.
enum class SpeedShown { Value, Off, Placeholder };
SpeedShown PanelSpeedShown(const PanelState& s);
// "%.0f " of min(speed, 999).
std::string SpeedValueText(double speed);
// "OFF" beside the GPS icon: no valid fix and flag byte B 0.
bool GpsOffShown(const PanelState& s);
inline constexpr const char* kOffText = "OFF";
inline constexpr const char* kSpeedUnit = "km/h";

// "%.2fG" of g truncated toward zero to two decimals; empty for -5.0 or less
// (the placeholder picture is drawn instead).
std::string AccelText(double g);

// Whether the voltage is drawn: TX50 family, a parking recording from a card
// with the voltage-trace marker. Its text "%.1f" of tenths / 10, empty for
// -1 (the placeholder picture); "V" follows in both cases.
bool VoltageShown(const PanelState& s, playcore::RecorderFamily family);
std::string VoltageText(int voltageTenths);

// 3 for a picture 720 lines high, 5 for 1080, else 0.
int ResolutionIconFor(int height);

enum class CameraIcon { Default, Rear, FamilyRear };
// 82 "R": the family's rear icon; 114 "r": the rear icon; else the default.
CameraIcon CameraIconFor(int letter);

// "DISPLAY"/"INFOCHECK": what the telemetry views show, one bit each in a
// decimal number: 1 the information panel, 2 the acceleration graph, 4, 8
// and 16 the panel's X, Y and Z axis buttons switched on. The first run
// writes 31 (everything shown and on, as the views are created).
inline constexpr int kInfoCheckFirstRun = 31;
struct InfoCheck {
    bool panelShown = true;
    bool graphShown = true;
    std::array<bool, 3> axisOn{true, true, true};
    bool operator==(const InfoCheck&) const = default;
};
// The setting's text read with the leading-digits rule (text that is no
// number, or a negative one, reads 0: nothing shown); empty (a file of an
// older viewer without the key) reads as the first-run value. Bits above 16
// are ignored.
InfoCheck ParseInfoCheck(std::string_view text);
std::string InfoCheckText(const InfoCheck& check);

} // namespace kinetta
