#include "kinetta/telemetry/panel_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "util/text.h"

namespace kinetta {

using playcore::AccelRecord;
using playcore::RecordTime;

void PanelState::Reset() {
    frameIndex = -1;
    gx = gy = gz = -5.0;
    gpsValid = 0;
    speed = -1.0;
    cameraLetter = 77;
    voltageTenths = -1;
}

void PanelState::ApplyRecord(int frame, const AccelRecord* rec) {
    frameIndex = frame;
    if (!rec) {
        gx = gy = gz = -5.0;
        gpsValid = 0;
        return;
    }
    gx = rec->gx;
    gy = rec->gy;
    gz = rec->gz;
    cameraLetter = rec->extra;
    voltageTenths = rec->number;
    gpsValid = rec->gps ? rec->gps->valid : 0;
    if (gpsValid == 1) speed = rec->gps->speed;
}

namespace {

// Days from 1601-01-01 (the file-time epoch) to 1970-01-01.
constexpr int64_t kDays1601To1970 = 134774;

// Days since 1601-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468 + kDays1601To1970;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
    z += 719468 - kDays1601To1970;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// The start time as a file time (100-ns units since 1601); false for fields
// that are no date.
bool ToFileTime(const RecordTime& t, uint64_t* out) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1) return false;
    const int days = kDays[t.month - 1] + (t.month == 2 && IsLeap(t.year) ? 1 : 0);
    if (t.day > days || t.hour > 23 || t.minute > 59 || t.second > 59 || t.milliseconds > 999)
        return false;
    const int64_t d = DaysFromCivil(t.year, t.month, t.day);
    const int64_t ms =
        ((d * 24 + t.hour) * 60 + t.minute) * 60'000LL + t.second * 1000LL + t.milliseconds;
    *out = static_cast<uint64_t>(ms) * 10'000ULL;
    return true;
}

} // namespace

std::string PanelDateTimeText(const PanelState& s) {
    if (!s.hasData || s.frameIndex < 0) return kDateTimePlaceholder;
    uint64_t start = 0;
    if (!ToFileTime(s.startTime, &start)) return kDateTimePlaceholder;
    // The product in single precision, as the recorder's viewer forms it.
    const float f = s.timeLapse ? 15.0f : 1.0f;
    const float product = static_cast<float>(s.frameIndex) * s.frameDurationMs * 10000.0f * f;
    const uint64_t offset =
        std::isfinite(product) && product > 0 ? static_cast<uint64_t>(product) : 0;
    const uint64_t t = start + offset;
    if (t == 0) return kDateTimePlaceholder;
    const uint64_t totalSeconds = t / 10'000'000ULL;
    const auto days = static_cast<int64_t>(totalSeconds / 86400);
    const uint64_t secs = totalSeconds % 86400;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    if (year == 0 || year > 30827) return kDateTimePlaceholder;
    if (year >= 2050) year -= 35;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02u/%02u %02u:%02u:%02u", static_cast<int>(year), month,
                  day, static_cast<unsigned>(secs / 3600), static_cast<unsigned>(secs / 60 % 60),
                  static_cast<unsigned>(secs % 60));
    return buf;
}

SpeedShown PanelSpeedShown(const PanelState& s) {
    if (s.gpsValid == 1 && s.speed >= 0) return SpeedShown::Value;
    return s.flagA == 0 ? SpeedShown::Off : SpeedShown::Placeholder;
}

std::string SpeedValueText(double speed) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f ", std::min(speed, 999.0));
    return buf;
}

bool GpsOffShown(const PanelState& s) {
    return s.gpsValid == 0 && s.flagB == 0;
}

std::string AccelText(double g) {
    if (!(g > -5.0)) return {};
    // Truncated toward zero to hundredths. The values come from thousandths
    // rounded to single precision, so 0.29 may arrive as 0.28999999...; a
    // nudge far below one thousandth keeps such a value at 0.29.
    const double nudge = g < 0 ? -1e-6 : 1e-6;
    const double t = std::trunc(g * 100.0 + nudge) / 100.0 + 0.0; // + 0.0: no "-0.00"
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2fG", t == 0 ? 0.0 : t);
    return buf;
}

bool VoltageShown(const PanelState& s, playcore::RecorderFamily family) {
    return family == playcore::RecorderFamily::TX50 && s.voltageTrace && s.parkingVoltage;
}

std::string VoltageText(int voltageTenths) {
    if (voltageTenths == -1) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", voltageTenths / 10.0);
    return buf;
}

int ResolutionIconFor(int height) {
    return height == 720 ? 3 : height == 1080 ? 5 : 0;
}

CameraIcon CameraIconFor(int letter) {
    if (letter == 82) return CameraIcon::FamilyRear;
    if (letter == 114) return CameraIcon::Rear;
    return CameraIcon::Default;
}

InfoCheck ParseInfoCheck(std::string_view text) {
    int bits = kutil::TrimBlanks(text).empty() ? kInfoCheckFirstRun : kutil::LeadingInt(text);
    if (bits < 0) bits = 0; // no set of bits
    InfoCheck c;
    c.panelShown = (bits & 1) != 0;
    c.graphShown = (bits & 2) != 0;
    for (int axis = 0; axis < 3; ++axis)
        c.axisOn[static_cast<size_t>(axis)] = (bits & (4 << axis)) != 0;
    return c;
}

std::string InfoCheckText(const InfoCheck& c) {
    int bits = (c.panelShown ? 1 : 0) | (c.graphShown ? 2 : 0);
    for (int axis = 0; axis < 3; ++axis)
        if (c.axisOn[static_cast<size_t>(axis)]) bits |= 4 << axis;
    return std::to_string(bits);
}

} // namespace kinetta
