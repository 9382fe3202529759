#include "kinetta/telemetry/detectors.h"

namespace kinetta {

using playcore::AccelRecord;
using playcore::RecorderFamily;

void DetectorFlags::Set(int entry, bool on) {
    if (entry < 0 || entry >= kDetectorCount) return;
    drawing[static_cast<size_t>(entry)] = on;
    listing[static_cast<size_t>(entry)] = on;
}

int SettingsSwitchEntry(int switchIndex) {
    static constexpr int kEntries[] = {9, 4, 5, 6, 7, 8};
    return switchIndex >= 0 && switchIndex < 6 ? kEntries[switchIndex] : -1;
}

int AxisButtonEntry(int axis) {
    return axis >= 0 && axis < 3 ? axis : -1;
}

namespace {

// The two camera codes of a record: the linked GPS record's nibbles (TX50
// family); the TX40 family's records carry none.
void CameraCodes(const AccelRecord& rec, RecorderFamily family, int* first, int* second) {
    *first = *second = 0;
    if (family == RecorderFamily::TX50 && rec.gps) {
        *first = rec.gps->nibbleHigh;
        *second = rec.gps->nibbleLow;
    }
}

// The kind of a match that also claims the record (entries 0, 1, 2, 6, 7, 8).
int Claim(AccelRecord& rec, int kind) {
    rec.kind = -1;
    return kind;
}

} // namespace

int RunDetector(int entry, AccelRecord& rec, RecorderFamily family) {
    int first = 0, second = 0;
    switch (entry) {
    case 0:
        return rec.axis == 1 ? Claim(rec, 0) : -1;
    case 1:
        return rec.axis == 2 ? Claim(rec, 2) : -1;
    case 2:
        return rec.axis == 3 ? Claim(rec, 3) : -1;
    case 3:
        return rec.kind == 5 ? 5 : -1;
    case 4:
        return rec.kind == 6 ? 6 : -1;
    case 5:
        return rec.kind == 7 ? 7 : -1;
    case 6:
        return rec.code2 == 8 ? Claim(rec, 8) : -1;
    case 7:
        CameraCodes(rec, family, &first, &second);
        return first == 10 && second == 9 ? Claim(rec, 9) : -1;
    case 8:
        CameraCodes(rec, family, &first, &second);
        return (first == 8 || first == 9) && second == 8 ? Claim(rec, 10) : -1;
    case 9:
        return rec.kind >= 11 && rec.kind <= 13 ? rec.kind : -1;
    default:
        return -1;
    }
}

bool IsSpeeding(AccelRecord& rec, RecorderFamily family) {
    return RunDetector(kSpeedingEntry, rec, family) != -1;
}

namespace {

// The evaluation of one position; prev is the record before it (null at the
// first position or where there is none).
int Evaluate(AccelRecord* rec, AccelRecord* prev, const std::array<bool, kDetectorCount>& on,
             RecorderFamily family, FrameEvent out[2]) {
    if (!rec) return 0;
    int n = 0;
    auto starts = [&](int entry, int kind) {
        if (kind == -1) return false;
        if (!prev) return true;
        if (prev == rec) return false; // the same record: its run goes on
        return RunDetector(entry, *prev, family) != kind;
    };
    if (on[kSpeedingEntry]) {
        const int kind = RunDetector(kSpeedingEntry, *rec, family);
        if (starts(kSpeedingEntry, kind)) out[n++] = {kSpeedingEntry, kind};
    }
    for (int entry = 0; entry < kDetectorCount; ++entry) {
        if (entry == kSpeedingEntry || !on[static_cast<size_t>(entry)]) continue;
        const int kind = RunDetector(entry, *rec, family);
        if (kind == -1) continue;
        if (starts(entry, kind)) out[n++] = {entry, kind};
        break;
    }
    return n;
}

} // namespace

int EventsAtFrame(std::span<AccelRecord* const> table, size_t f,
                  const std::array<bool, kDetectorCount>& on, RecorderFamily family,
                  FrameEvent out[2]) {
    if (f >= table.size()) return 0;
    return Evaluate(table[f], f > 0 ? table[f - 1] : nullptr, on, family, out);
}

int EventsAtRecord(std::span<AccelRecord> records, size_t i,
                   const std::array<bool, kDetectorCount>& on, RecorderFamily family,
                   FrameEvent out[2]) {
    if (i >= records.size()) return 0;
    return Evaluate(&records[i], i > 0 ? &records[i - 1] : nullptr, on, family, out);
}

} // namespace kinetta
