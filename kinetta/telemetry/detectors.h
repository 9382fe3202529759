#pragma once
// The acceleration graph's ten detector entries. Each entry tests one
// acceleration record and answers an event kind (the icon index the map and
// the graph share, 0..13) or -1. Entries carry a drawing flag (marks on the
// graph, click navigation) and a listing flag (the event list and the map's
// icons); both start set and are switched together.
//
//   entry  test                                   kind
//   0      axis code 1                            0
//   1      axis code 2                            2
//   2      axis code 3                            3
//   3      kind 5 (user point)                    5
//   4      kind 6 (emergency recording stop)      6
//   5      kind 7 (parking monitoring)            7
//   6      code2 8 (speeding)                     8
//   7      camera codes 10 / 9 (speed camera)     9
//   8      camera codes 8 or 9 / 8 (radar)        10
//   9      kind 11..13 (drive assist)             the same
//
// A match of entries 0, 1, 2, 6, 7 or 8 sets the record's kind to -1 in the
// record list itself, so a shock, speeding, speed-camera or radar sample is
// never counted again as a user point, emergency stop, parking or drive-assist
// event, in this pass or a later one. The records are the session's; callers
// hold its telemetry lock.

#include <array>
#include <cstdint>
#include <span>

#include "playcore/container/gps_block.h"

namespace kinetta {

inline constexpr int kDetectorCount = 10;
inline constexpr int kSpeedingEntry = 6;

// The two flag sets, indexed by detector entry.
struct DetectorFlags {
    std::array<bool, kDetectorCount> drawing{true, true, true, true, true,
                                             true, true, true, true, true};
    std::array<bool, kDetectorCount> listing{true, true, true, true, true,
                                             true, true, true, true, true};
    // Sets both flags of entry; entries outside 0..9 are ignored.
    void Set(int entry, bool on);
};

// The entry addressed by the settings dialog's switch index (0..5: drive
// assist, emergency stop, parking, speeding, speed camera, radar), -1 for any
// other index. The user-point entry has no switch.
int SettingsSwitchEntry(int switchIndex);
// The entry addressed by the information panel's axis buttons (0 X, 1 Y,
// 2 Z), -1 for any other index.
int AxisButtonEntry(int axis);

// Runs entry's test on rec: the event kind, or -1. The camera codes are the
// linked GPS record's nibbles in the TX50 family; the TX40 family's records
// have none, so entries 7 and 8 never match there. May set rec.kind to -1
// (see above). Entries outside 0..9 give -1.
int RunDetector(int entry, playcore::AccelRecord& rec, playcore::RecorderFamily family);

// One event found at a frame.
struct FrameEvent {
    int entry = -1;
    int kind = -1;
};

// The events that start at frame f of the per-frame table, with the flags in
// `on` (listing flags for the event list, drawing flags for the graph's
// marks): the speeding entry first when its flag is set, whatever it gives;
// then entries 0..9 without 6, each while its flag is set, until the first
// whose test gives a kind: that entry ends the frame. An entry's event starts
// at f when its test gives a kind there and f is 0 or the test on frame f-1's
// record gives another result. Frames without a record give nothing. Writes
// at most two events into out; returns their number.
int EventsAtFrame(std::span<playcore::AccelRecord* const> table, size_t f,
                  const std::array<bool, kDetectorCount>& on, playcore::RecorderFamily family,
                  FrameEvent out[2]);

// The same over the records of a parking recording, which the graph plots by
// record index: record i's predecessor is record i-1.
int EventsAtRecord(std::span<playcore::AccelRecord> records, size_t i,
                   const std::array<bool, kDetectorCount>& on, playcore::RecorderFamily family,
                   FrameEvent out[2]);

// Whether rec is a speeding sample (entry 6's test). Marks rec as RunDetector does.
bool IsSpeeding(playcore::AccelRecord& rec, playcore::RecorderFamily family);

} // namespace kinetta
