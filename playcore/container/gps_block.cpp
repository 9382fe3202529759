#include "playcore/container/gps_block.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <string_view>

#include "util/text.h"

namespace playcore {

namespace {

bool IsBlank(uint8_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int FieldToInt(const uint8_t* p, size_t n) {
    return kutil::LeadingInt(std::string_view(reinterpret_cast<const char*>(p), n));
}

// ddmm.mmmm (or dddmm.mmmm) to decimal degrees; sign byte 0 makes it negative.
double Coordinate(const uint8_t* text, size_t n, uint8_t signByte) {
    const double v = FieldToDouble(text, n);
    // The text is at most 10 characters; anything beyond that range is not a
    // coordinate (and would not survive the integer division below).
    if (!(std::fabs(v) < 1e12)) return 0;
    const double degrees = std::fmod(v, 100.0) / 60.0 + double(static_cast<long long>(v) / 100);
    return signByte == 0 ? -degrees : degrees;
}

// Rounds to single precision as the recorder's tools do. A text like "9e99"
// does not fit a float and is no reading at all: it gives 0.
float ToFloat(double v) {
    return std::fabs(v) <= double(std::numeric_limits<float>::max()) ? static_cast<float>(v) : 0.0f;
}

double Accel(const uint8_t* p) {
    return double(ToFloat(FieldToDouble(p, 5))) / 1000.0;
}

float Level(const uint8_t* p) {
    return ToFloat(FieldToDouble(p, 4)) / 1000.0f;
}

int AxisCode(uint8_t c) {
    switch (c) {
    case 'X':
        return 2;
    case 'Y':
        return 3;
    case 'Z':
        return 1;
    default:
        return 0;
    }
}

// One reading of the header fields at base (0, or h, 2h, ... for repeated
// headers). The caller has checked that base + 40 (TX40) / 49 (TX50) bytes exist.
void DecodeHeaderAt(RecorderFamily family, const uint8_t* b, GpsBlockInfo* info) {
    std::memcpy(info->id, b + 6, 6);
    if (family == RecorderFamily::TX40) {
        info->level1 = Level(b + 12);
        info->level2 = Level(b + 16);
        info->level3 = Level(b + 20);
        info->letter = static_cast<char>(b[24]);
        const bool known = info->letter == 'N' || info->letter == 'P';
        if (!known) info->level1 = info->level2 = info->level3 = -1;
        info->flagA = info->flagB = known ? 1 : 0;
    } else {
        info->level1 = Level(b + 14);
        info->level2 = Level(b + 18);
        info->level3 = Level(b + 22);
        info->tx50Letter = static_cast<char>(b[33]);
        info->flagA = b[36];
        info->flagB = b[37];
    }
}

void DecodeHeader(RecorderFamily family, const uint8_t* block, size_t size, GpsBlockInfo* info) {
    const GpsLayout& layout = LayoutOf(family);
    // Offset of the "@CS" + letter that announces a repeated header, and the
    // bytes a reading needs (its fields and that check).
    const size_t repeatAt = layout.headerBytes + 2;
    const size_t needed = repeatAt + 4;
    *info = GpsBlockInfo{};
    size_t base = 0;
    if (size < needed) {
        // Too short for the repeat check; the fields alone still fit when the
        // header is complete.
        if (size >= layout.headerBytes) DecodeHeaderAt(family, block, info);
        return;
    }
    DecodeHeaderAt(family, block, info);
    while (size - base >= layout.headerBytes + needed) {
        const uint8_t* r = block + base + repeatAt;
        if (!(r[0] == '@' && r[1] == 'C' && r[2] == 'S' && r[3] >= 'A' && r[3] <= 'Z')) break;
        base += layout.headerBytes;
        DecodeHeaderAt(family, block + base, info);
    }
}

// Records come many to a second, so consecutive records mostly carry the same
// date, time and seconds to add. The last conversion is kept and reused for
// identical fields, which saves the C library's time-zone lookups.
struct TimeMemo {
    uint8_t dateTime[12];
    uint8_t add[3];
    RecordTime value;
    bool valid = false;

    RecordTime Get(const uint8_t* dt, const uint8_t* ad) {
        if (valid && std::memcmp(dt, dateTime, 12) == 0 && std::memcmp(ad, add, 3) == 0)
            return value;
        value = DecodeRecordTime(dt, ad);
        std::memcpy(dateTime, dt, 12);
        std::memcpy(add, ad, 3);
        valid = true;
        return value;
    }
};

void DecodeTx40(const uint8_t* r, GpsRecord& g, AccelRecord& a, TimeMemo& memo) {
    g.valid = r[5] == 'A' ? 1 : 0;
    g.latitude = Coordinate(r + 6, 9, r[15]);
    g.longitude = Coordinate(r + 16, 10, r[26]);
    g.speed = FieldToDouble(r + 27, 4);
    g.time = memo.Get(r + 31, r + 44);
    a.gy = Accel(r + 57);
    a.gx = Accel(r + 62);
    a.gz = Accel(r + 67);
    a.kind = r[72] == 'D' ? 5 : r[74] == 'D' ? 7 : -1;
    a.axis = AxisCode(r[73]);
    a.code2 = -1;
    a.extra = r[78];
    a.number = 0;
}

void DecodeTx50(const uint8_t* r, GpsRecord& g, AccelRecord& a, TimeMemo& memo) {
    g.valid = r[8] == 'A' ? 1 : 0;
    g.latitude = Coordinate(r + 9, 9, r[18]);
    g.longitude = Coordinate(r + 19, 10, r[29]);
    g.speed = FieldToDouble(r + 30, 4);
    g.time = memo.Get(r + 34, r + 47);
    g.nibbleHigh = r[50] >> 4;
    g.nibbleLow = r[50] & 0x0F;
    a.gy = Accel(r + 63);
    a.gx = Accel(r + 68);
    a.gz = Accel(r + 73);
    int letterKind = -1;
    switch (r[80]) {
    case 'A':
        letterKind = 12;
        break;
    case 'B':
        letterKind = 13;
        break;
    case 'H':
        letterKind = 11;
        break;
    default:
        break;
    }
    a.kind = r[81] == 'D' ? 6 : r[78] == 'D' ? 5 : r[82] == 'D' ? 7 : letterKind;
    a.axis = AxisCode(r[79]);
    a.code2 = r[83] == 'D' ? 8 : 0;
    a.extra = r[87];
    a.number = (r[88] == ' ' && r[89] == ' ' && r[90] == ' ') ? -1 : FieldToInt(r + 88, 3);
}

} // namespace

double FieldToDouble(const uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n && IsBlank(p[i]))
        ++i;
    bool negative = false;
    if (i < n && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
    // A second sign is not a number ("+-1" reads as 0, as in the C library).
    if (i < n && (p[i] == '+' || p[i] == '-')) return 0;
    double value = 0;
    const char* first = reinterpret_cast<const char*>(p + i);
    const char* last = reinterpret_cast<const char*>(p + n);
    auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value)) return 0;
    return negative ? -value : value;
}

RecordTime DecodeRecordTime(const uint8_t* dateTime, const uint8_t* add) {
    std::tm tm{};
    tm.tm_year = 2000 + FieldToInt(dateTime, 2) - 1900;
    tm.tm_mon = FieldToInt(dateTime + 2, 2) - 1;
    tm.tm_mday = FieldToInt(dateTime + 4, 2);
    tm.tm_hour = FieldToInt(dateTime + 6, 2);
    tm.tm_min = FieldToInt(dateTime + 8, 2);
    tm.tm_sec = FieldToInt(dateTime + 10, 2);
    tm.tm_isdst = 0;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) t = 0;
    if (add[0] != '*') t += FieldToInt(add, 3);
    std::tm local{};
    RecordTime out;
    if (!localtime_r(&t, &local)) return out;
    out.year = static_cast<uint16_t>(local.tm_year + 1900);
    out.month = static_cast<uint16_t>(local.tm_mon + 1);
    out.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    out.day = static_cast<uint16_t>(local.tm_mday);
    out.hour = static_cast<uint16_t>(local.tm_hour);
    out.minute = static_cast<uint16_t>(local.tm_min);
    out.second = static_cast<uint16_t>(local.tm_sec);
    return out;
}

uint32_t UsableRecordCount(RecorderFamily family, const uint8_t* block, size_t size) {
    const GpsLayout& layout = LayoutOf(family);
    if (!block || size < layout.headerBytes) return 0;
    const uint32_t n = LoadBE16(block + layout.headerBytes - 2);
    const uint64_t fit = (size - layout.headerBytes) / layout.recordBytes;
    return static_cast<uint32_t>(n < fit ? n : fit);
}

bool DecodeRecords(RecorderFamily family, const uint8_t* block, size_t size,
                   std::vector<GpsRecord>* gps, std::vector<AccelRecord>* accel, GpsBlockInfo* info,
                   int* counter) {
    const GpsLayout& layout = LayoutOf(family);
    if (counter) *counter = 0;
    if (info) *info = GpsBlockInfo{};
    if (!block || size < layout.headerBytes) return true;
    if (info) DecodeHeader(family, block, size, info);
    const uint32_t n = UsableRecordCount(family, block, size);
    TimeMemo memo;
    try {
        if (gps) gps->reserve(gps->size() + n);
        if (accel) accel->reserve(accel->size() + n);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* r = block + layout.headerBytes + size_t(i) * layout.recordBytes;
            GpsRecord g;
            AccelRecord a;
            g.index = a.index = static_cast<int32_t>(i);
            g.framePos = a.framePos = static_cast<int32_t>(i);
            if (family == RecorderFamily::TX40)
                DecodeTx40(r, g, a, memo);
            else
                DecodeTx50(r, g, a, memo);
            if (gps) gps->push_back(g);
            if (accel) accel->push_back(a);
            if (counter) ++*counter;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool LocateBlock(sMP4MOVIE& movie, GpsBlockBytes* out) {
    out->bytes.clear();
    const GpsLayout& layout = LayoutOf(movie.family);
    try {
        if (movie.family == RecorderFamily::TX50) {
            const Tx50GpsBlock& b = movie.tx50Gps;
            if (!b.present) return true;
            // The copy taken at open, laid out again as on disk with the count
            // cut to the records present.
            out->bytes.reserve(b.header.size() + b.records.size() + b.endMarker.size());
            out->bytes.insert(out->bytes.end(), b.header.begin(), b.header.end());
            out->bytes[layout.headerBytes - 2] = uint8_t(b.recordCount >> 8);
            out->bytes[layout.headerBytes - 1] = uint8_t(b.recordCount);
            out->bytes.insert(out->bytes.end(), b.records.begin(), b.records.end());
            out->bytes.insert(out->bytes.end(), b.endMarker.begin(), b.endMarker.end());
            return true;
        }
        for (const sTAGNODE* node : movie.List(kGps0List)) {
            if (!node->gps) continue;
            const uint64_t length =
                std::min<uint64_t>(node->size, layout.BlockBytes(node->gps->recordCount));
            out->bytes.resize(static_cast<size_t>(length));
            if (!ReadRange(movie.map, node->offset, out->bytes.data(), out->bytes.size())) {
                out->bytes.clear();
                return false;
            }
            return true;
        }
    } catch (const std::bad_alloc&) {
        out->bytes.clear();
        return false;
    }
    return true;
}

} // namespace playcore
