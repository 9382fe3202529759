#pragma once
// The event list of the open recording: one entry per event the detectors
// find (detectors.h), in the order a walk over the recording's frames meets
// them. The acceleration graph's click navigation and the map's event icons
// read it. It is rebuilt, under the main window's list mutex and the
// session's telemetry lock, whenever a recording is opened and whenever a
// detector flag changes; its record pointers are valid only while the
// recording's telemetry stays loaded.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "kinetta/telemetry/detectors.h"

namespace kinetta {

// One event: five 32-bit-sized fields as the map reads them.
struct GraphEvent {
    int32_t record = 0;                     // index of the AccelRecord
    int32_t spare = 0;                      // unused, 0
    int32_t kind = -1;                      // event kind 0..13 (icon index)
    int32_t entry = -1;                     // detector entry 0..9
    playcore::AccelRecord* accel = nullptr; // the record (its framePos is the event's frame)
};

using EventList = std::vector<GraphEvent>;

// Walks the per-frame table frame by frame with the listing flags and appends
// every event that starts (EventsAtFrame). records is the list the table
// points into; a table entry outside it is passed over. Marks matched records
// (see detectors.h).
EventList BuildEventList(std::span<playcore::AccelRecord* const> table,
                         std::span<playcore::AccelRecord> records,
                         const std::array<bool, kDetectorCount>& listing,
                         playcore::RecorderFamily family);

// Click navigation over the events whose entry has its drawing flag set; an
// event's position is its record's framePos.
// Left button: the last event before current, or when there is none the last
// event of the recording. Right button: the first event after current, or
// when there is none the first event. Nothing when no event qualifies.
std::optional<int64_t> PreviousEventFrame(const EventList& events,
                                          const std::array<bool, kDetectorCount>& drawing,
                                          int64_t current);
std::optional<int64_t> NextEventFrame(const EventList& events,
                                      const std::array<bool, kDetectorCount>& drawing,
                                      int64_t current);

// The name of event kind 0..13 as the graph's and the settings dialog's texts
// call it ("衝撃", "マニュアル", ...); "" for any other kind.
std::string_view EventKindText(int kind);

} // namespace kinetta
