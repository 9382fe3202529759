#include "tools/mkcard/gps_block.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "tools/mkcard/box_writer.h"

namespace mkcard {

using playcore::RecorderFamily;

size_t RecordSize(RecorderFamily family) {
    return family == RecorderFamily::TX50 ? kTx50RecordSize : kTx40RecordSize;
}
size_t HeaderSize(RecorderFamily family) {
    return family == RecorderFamily::TX50 ? kTx50HeaderSize : kTx40HeaderSize;
}
int MaxRecords(RecorderFamily family) {
    return family == RecorderFamily::TX50 ? kTx50MaxRecords : kTx40MaxRecords;
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilTime CivilFromEpoch(int64_t seconds) {
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    int64_t rem = seconds - days * 86400;
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    t.hour = static_cast<int>(rem / 3600);
    t.minute = static_cast<int>(rem / 60 % 60);
    t.second = static_cast<int>(rem % 60);
    return t;
}

// Writes text into exactly width bytes at out (the text must fit).
void Put(std::vector<uint8_t>& out, size_t at, const std::string& text, size_t width) {
    if (text.size() != width) throw std::logic_error("record field of the wrong width: " + text);
    std::copy(text.begin(), text.end(), out.begin() + static_cast<long>(at));
}

std::string Format(const char* format, int value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

std::string SpeedText(double kmh) {
    char buf[16];
    kmh = std::clamp(kmh, 0.0, 999.0);
    if (kmh < 99.95)
        std::snprintf(buf, sizeof buf, "%04.1f", kmh);
    else
        std::snprintf(buf, sizeof buf, "%04d", static_cast<int>(std::lround(kmh)));
    return buf;
}

std::string AccelText(int thousandths) {
    return Format("%+05d", std::clamp(thousandths, -9999, 9999));
}

std::string TimeText(const CivilTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d%02d", t.year % 100, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

// Minutes in units of 1/10000, rounded once so that 59.99995 carries into the degrees.
std::string DegreesText(double degrees, int degreeDigits) {
    const int64_t total = std::llround(std::fabs(degrees) * 60.0 * 10000.0);
    const int64_t deg = total / 600000;
    const int64_t rem = total % 600000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld%02lld.%04lld", degreeDigits, static_cast<long long>(deg),
                  static_cast<long long>(rem / 10000), static_cast<long long>(rem % 10000));
    return buf;
}

char D(bool on) {
    return on ? 'D' : 'N';
}

void WriteHeaderFields(std::vector<uint8_t>& out, size_t base, RecorderFamily family,
                       const GpsHeader& h) {
    Put(out, base + 6, h.identification, 6);
    const bool tx50 = family == RecorderFamily::TX50;
    const size_t levelsAt = tx50 ? 14 : 12;
    for (size_t i = 0; i < 3; ++i)
        Put(out, base + levelsAt + 4 * i, Format("%04d", std::clamp(h.levels[i], 0, 9999)), 4);
    if (tx50) {
        Put(out, base + 12, "00", 2);
        Put(out, base + 26, "0000000", 7);
        out[base + 33] = static_cast<uint8_t>(h.tx50Letter);
        Put(out, base + 34, "00", 2);
        out[base + 36] = h.flagA;
        out[base + 37] = h.flagB;
        Put(out, base + 38, "000", 3);
    } else {
        out[base + 24] = static_cast<uint8_t>(h.letter);
        Put(out, base + 25, "0000000", 7);
    }
}

} // namespace

CivilTime AddSeconds(const CivilTime& t, int64_t seconds) {
    return CivilFromEpoch(EpochSeconds(t) + seconds);
}

int64_t EpochSeconds(const CivilTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

uint64_t Mp4Seconds(const CivilTime& t) {
    // 1904-01-01 is 24107 days before 1970-01-01.
    return static_cast<uint64_t>(EpochSeconds(t) + 24107LL * 86400);
}

std::string IsoText(const CivilTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

std::string IdentificationFor(int major, int minor, int patch, char prefix) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%1d%02d%02d", prefix, std::clamp(major, 0, 9),
                  std::clamp(minor, 0, 99), std::clamp(patch, 0, 99));
    return buf;
}

std::string FirmwareText(const std::string& identification) {
    if (identification.size() != 6) return {};
    auto number = [&](size_t at, size_t n) {
        int v = 0;
        for (size_t i = at; i < at + n; ++i) {
            char c = identification[i];
            if (c < '0' || c > '9') return -1;
            v = v * 10 + (c - '0');
        }
        return v;
    };
    int a = number(1, 1), b = number(2, 2), c = number(4, 2);
    if (a < 0 || b < 0 || c < 0) return {};
    return std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
}

std::string LatitudeText(double degrees) {
    return DegreesText(degrees, 2);
}
std::string LongitudeText(double degrees) {
    return DegreesText(degrees, 3);
}

std::vector<uint8_t> EncodeRecord(RecorderFamily family, const GpsRecordValues& r, int index) {
    const bool tx50 = family == RecorderFamily::TX50;
    std::vector<uint8_t> out(RecordSize(family), '0');
    // Offsets of the fields shared by both layouts.
    const size_t status = tx50 ? 8 : 5;
    const size_t lat = status + 1, latSign = lat + 9, lon = latSign + 1, lonSign = lon + 10;
    const size_t speed = lonSign + 1, time = speed + 4, addSeconds = time + 13;
    const size_t accel = tx50 ? 63 : 57;

    Put(out, 0, tx50 ? Format("%08d", index % 100000000) : Format("%05d", index % 100000), status);
    out[status] = r.valid ? 'A' : 'V';
    if (r.valid) {
        Put(out, lat, LatitudeText(r.latitude), 9);
        Put(out, lon, LongitudeText(r.longitude), 10);
        Put(out, speed, SpeedText(r.speedKmh), 4);
    } else {
        Put(out, lat, "0000.0000", 9);
        Put(out, lon, "00000.0000", 10);
        Put(out, speed, "00.0", 4);
    }
    // Sign bytes: 0 means south / west, anything else north / east.
    out[latSign] = r.latitude < 0 ? 0 : 'N';
    out[lonSign] = r.longitude < 0 ? 0 : 'E';
    Put(out, time, TimeText(r.time), 12);
    out[time + 12] = ',';
    Put(out, addSeconds, r.secondsToAdd < 0 ? "***" : Format("%03d", std::min(r.secondsToAdd, 999)),
        3);
    for (size_t i = 0; i < 3; ++i)
        Put(out, accel + 5 * i, AccelText(r.accel[i]), 5);
    if (tx50) {
        out[50] = r.nibbles;
        Put(out, 51, "+0040.0,08,0", 12);
        out[78] = static_cast<uint8_t>(D(r.userPoint));
        out[79] = static_cast<uint8_t>(r.axis);
        out[80] = static_cast<uint8_t>(r.assist);
        out[81] = static_cast<uint8_t>(D(r.emergencyStop));
        out[82] = static_cast<uint8_t>(D(r.parking));
        out[83] = static_cast<uint8_t>(D(r.speeding));
        Put(out, 84, "000", 3);
        out[87] = static_cast<uint8_t>(r.extra);
        Put(out, 88, r.number < 0 ? "   " : Format("%03d", std::min(r.number, 999)), 3);
    } else {
        Put(out, 47, "+0040.0,08", 10);
        out[72] = static_cast<uint8_t>(D(r.userPoint));
        out[73] = static_cast<uint8_t>(r.axis);
        out[74] = static_cast<uint8_t>(D(r.parking));
        Put(out, 75, "000", 3);
        out[78] = static_cast<uint8_t>(r.extra);
    }
    return out;
}

std::vector<uint8_t> EncodeGpsBlock(const GpsBlockSpec& recipe) {
    const size_t h = HeaderSize(recipe.family);
    const size_t n = recipe.records.size();
    if (n > 0xFFFF) throw std::length_error("more records than the count field holds");
    std::vector<uint8_t> out(h, '0');
    out.reserve(h + n * RecordSize(recipe.family) + kEndMarkerSize);
    Put(out, 0, "CSODAT", 6);
    WriteHeaderFields(out, 0, recipe.family, recipe.header);
    const int count = recipe.countOverride >= 0 ? recipe.countOverride : static_cast<int>(n);
    out[h - 2] = static_cast<uint8_t>((count >> 8) & 0xFF);
    out[h - 1] = static_cast<uint8_t>(count & 0xFF);
    for (size_t i = 0; i < n; ++i) {
        std::vector<uint8_t> record =
            EncodeRecord(recipe.family, recipe.records[i], static_cast<int>(i));
        out.insert(out.end(), record.begin(), record.end());
    }
    // Repeated header readings lie over the start of the record area: reading j
    // starts h x j bytes into the block and carries "@CS" and a letter at its
    // bytes 2..5, where the reader looks for them.
    const size_t repeats = recipe.repeatedHeaders.size();
    if (repeats > 0) {
        if (h * (repeats + 1) > out.size())
            throw std::length_error("too few records to hold the repeated headers");
        for (size_t j = 1; j <= repeats; ++j) {
            const size_t base = h * j;
            std::fill(out.begin() + static_cast<long>(base),
                      out.begin() + static_cast<long>(base + h), '0');
            Put(out, base, "  @CS", 5);
            out[base + 5] = static_cast<uint8_t>('A' + (j - 1) % 26);
            WriteHeaderFields(out, base, recipe.family, recipe.repeatedHeaders[j - 1]);
        }
    }
    if (recipe.endMarker) out.insert(out.end(), {'C', 'S', 'O', 'E', 'N', 'D'});
    return out;
}

std::vector<uint8_t> EncodeGps0Box(const GpsBlockSpec& recipe) {
    std::vector<uint8_t> block = EncodeGpsBlock(recipe);
    ByteWriter w;
    // The box covers the block as written: n x 79 + 48 with its end marker.
    w.U32(static_cast<uint32_t>(block.size() + 8));
    w.Text("gps0");
    w.Bytes(block);
    return std::move(w.bytes());
}

} // namespace mkcard
