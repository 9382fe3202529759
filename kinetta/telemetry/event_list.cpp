#include "kinetta/telemetry/event_list.h"

#include "kinetta/base/ui_strings.h"

#include <limits>

namespace kinetta {

using playcore::AccelRecord;

EventList BuildEventList(std::span<AccelRecord* const> table, std::span<AccelRecord> records,
                         const std::array<bool, kDetectorCount>& listing,
                         playcore::RecorderFamily family) {
    EventList events;
    const AccelRecord* begin = records.data();
    const AccelRecord* end = begin + records.size();
    FrameEvent found[2];
    for (size_t f = 0; f < table.size(); ++f) {
        AccelRecord* rec = table[f];
        if (!rec || rec < begin || rec >= end) continue;
        const int n = EventsAtFrame(table, f, listing, family, found);
        for (int i = 0; i < n; ++i)
            events.push_back(
                {static_cast<int32_t>(rec - begin), 0, found[i].kind, found[i].entry, rec});
    }
    return events;
}

namespace {

bool Drawn(const GraphEvent& e, const std::array<bool, kDetectorCount>& drawing) {
    return e.accel && e.entry >= 0 && e.entry < kDetectorCount &&
           drawing[static_cast<size_t>(e.entry)];
}

std::optional<int64_t> LastBefore(const EventList& events,
                                  const std::array<bool, kDetectorCount>& drawing,
                                  int64_t current) {
    for (size_t i = events.size(); i-- > 0;)
        if (Drawn(events[i], drawing) && events[i].accel->framePos < current)
            return events[i].accel->framePos;
    return std::nullopt;
}

std::optional<int64_t> FirstAfter(const EventList& events,
                                  const std::array<bool, kDetectorCount>& drawing,
                                  int64_t current) {
    for (const GraphEvent& e : events)
        if (Drawn(e, drawing) && e.accel->framePos > current) return e.accel->framePos;
    return std::nullopt;
}

} // namespace

std::optional<int64_t> PreviousEventFrame(const EventList& events,
                                          const std::array<bool, kDetectorCount>& drawing,
                                          int64_t current) {
    if (auto f = LastBefore(events, drawing, current)) return f;
    // None before: search again from beyond the end, which gives the last.
    return LastBefore(events, drawing, std::numeric_limits<int64_t>::max());
}

std::optional<int64_t> NextEventFrame(const EventList& events,
                                      const std::array<bool, kDetectorCount>& drawing,
                                      int64_t current) {
    if (auto f = FirstAfter(events, drawing, current)) return f;
    // None after: search again from position -1, which gives the first.
    return FirstAfter(events, drawing, -1);
}

std::string_view EventKindText(int kind) {
    // The interface texts of the triggers and of the settings dialog's switches.
    if (kind >= 0 && kind <= 4)
        return UiString(kStrTriggerShock); // the axes and the recorder's shock
    switch (kind) {
    case 5:
        return UiString(kStrTriggerManual);
    case 6:
        return UiString(kStrEmergencyStop);
    case 7:
        return UiString(kStrParkingMonitorShock);
    case 8:
        return UiString(kStrSpeeding);
    case 9:
        return UiString(kStrAutoSpeedCamera);
    case 10:
        return UiString(kStrRadarWarning);
    case 11:
    case 12:
    case 13:
        return UiString(kStrDriveSupport);
    default:
        return "";
    }
}

} // namespace kinetta
