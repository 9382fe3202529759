#include "kinetta/telemetry/event_list.h"

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
    if (kind >= 0 && kind <= 4) return "衝撃"; // the shock axes and the recorder's shock
    switch (kind) {
    case 5:
        return "マニュアル";
    case 6:
        return "緊急録画停止";
    case 7:
        return "駐車監視衝撃";
    case 8:
        return "速度超過";
    case 9:
        return "自動速度取締機";
    case 10:
        return "レーダー波警報";
    case 11:
    case 12:
    case 13:
        return "ドライブサポート";
    default:
        return "";
    }
}

} // namespace kinetta
