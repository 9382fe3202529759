#include "playcore/player/frame_schedule.h"

#include <cmath>

namespace playcore {

MediaTime ScheduleQuantum(MediaTime framePeriod) {
    return framePeriod > 0 ? framePeriod / kQuantaPerFrame : 0;
}

SampleDecision ScheduleSample(MediaTime sample, MediaTime clock, double rate, MediaTime quantum) {
    if (rate == 0 || !std::isfinite(rate)) return {false, -1};
    MediaTime delta = sample - clock;
    if (rate < 0) delta = -delta;
    if (delta >= -quantum && delta > 3 * quantum) {
        const double wait = static_cast<double>(delta - 3 * quantum) / std::fabs(rate);
        return {false, static_cast<MediaTime>(std::ceil(wait))};
    }
    return {true, 0};
}

int PresentationLevel(int immediateCount) {
    if (immediateCount <= 0) return 1;
    if (immediateCount <= 8) return 2;
    if (immediateCount <= 13) return 3;
    return 4;
}

int FrameShownAt(std::span<const MediaTime> starts, MediaTime t, MediaTime lastEnd, bool complete) {
    if (starts.empty()) return -1;
    if (t < starts.front()) return 0;
    // Last frame starting at or before t.
    size_t k = 0;
    while (k + 1 < starts.size() && starts[k + 1] <= t)
        ++k;
    if (k + 1 < starts.size()) return static_cast<int>(k);
    if (complete || (lastEnd >= 0 && t < lastEnd)) return static_cast<int>(k);
    return -1;
}

} // namespace playcore
