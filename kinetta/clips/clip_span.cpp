#include "kinetta/clips/clip_span.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/telemetry/event_list.h"
#include "util/text.h"

namespace kinetta {

namespace {

// Frame starts are sums of sample durations divided by a time scale; a time
// computed from one of them may come out a hair early. Times this close to a
// frame's start count as that frame.
constexpr double kTimeSlack = 1e-9;

bool Digits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view s) {
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v;
}

} // namespace

int ClipSecondsFromText(std::string_view text) {
    std::string_view t = kutil::TrimBlanks(text);
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    if (!Digits(t)) return kClipDefaultSeconds;
    // More digits than any value in range needs: the far end of the range.
    const long long v = t.size() > 6 ? 1000000 : Number(t);
    return negative ? kClipMinSeconds
                    : static_cast<int>(std::clamp<long long>(v, kClipMinSeconds, kClipMaxSeconds));
}

ClipSeconds ReadClipSeconds(const SettingsStore& settings) {
    ClipSeconds s;
    s.before = ClipSecondsFromText(settings.Read(kClipSection, kClipBeforeKey));
    s.after = ClipSecondsFromText(settings.Read(kClipSection, kClipAfterKey));
    return s;
}

uint32_t MovieFacts::FrameAt(double t) const {
    if (Frames() == 0) return 0;
    const auto end = frameStart.end() - 1;
    auto it = std::upper_bound(frameStart.begin(), end, t + kTimeSlack);
    return it == frameStart.begin() ? 0 : uint32_t(it - frameStart.begin() - 1);
}

uint32_t MovieFacts::KeyFrameAtOrBefore(uint32_t f) const {
    auto it = std::upper_bound(keyFrames.begin(), keyFrames.end(), f);
    return it == keyFrames.begin() ? 0 : *(it - 1);
}

int64_t CivilSeconds(const playcore::RecordTime& t) {
    // Days from 1970-01-01 of a proleptic Gregorian date.
    int64_t y = t.year;
    const int64_t m = t.month;
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

bool NameNumberAndTime(std::string_view name, int* number, int* secondsOfDay) {
    const std::string bare = StripJoinPrefix(name);
    const std::string_view n(bare);
    if (n.size() < 10 || !Digits(n.substr(0, 3)) || n[3] != '_' || !Digits(n.substr(4, 6)))
        return false;
    const int h = Number(n.substr(4, 2)), m = Number(n.substr(6, 2)), s = Number(n.substr(8, 2));
    if (h > 23 || m > 59 || s > 59) return false;
    *number = Number(n.substr(0, 3));
    *secondsOfDay = h * 3600 + m * 60 + s;
    return true;
}

FollowTest Follows(const MovieFacts& before, std::string_view beforeName, const MovieFacts& after,
                   std::string_view afterName, double realPerMovieSecond) {
    FollowTest r;
    const size_t records = before.recordFrames.size();
    if (before.lastTime && before.lastValid && after.firstTime && after.firstValid) {
        // The end of `before`: its last record's time plus one record's step.
        double step = before.Duration() * realPerMovieSecond / double(std::max<size_t>(records, 1));
        if (records >= 2 && before.firstTime && before.firstValid)
            step = double(CivilSeconds(*before.lastTime) - CivilSeconds(*before.firstTime)) /
                   double(records - 1);
        const double end = double(CivilSeconds(*before.lastTime)) + step;
        r.byGps = true;
        r.gapSeconds = double(CivilSeconds(*after.firstTime)) - end;
        r.follows = std::fabs(r.gapSeconds) <= kFollowToleranceSeconds;
        return r;
    }
    int nb = 0, tb = 0, na = 0, ta = 0;
    if (!NameNumberAndTime(beforeName, &nb, &tb) || !NameNumberAndTime(afterName, &na, &ta))
        return r;
    double gap = double(ta) - (double(tb) + before.Duration() * realPerMovieSecond);
    gap = std::remainder(gap, 86400.0); // over midnight
    r.gapSeconds = gap;
    r.follows = (nb + 1) % 1000 == na && std::fabs(gap) <= kFollowToleranceSeconds;
    return r;
}

uint64_t ClipSpan::Frames() const {
    uint64_t n = 0;
    for (const ClipPart& p : parts)
        n += uint64_t(p.lastFrame) - p.firstFrame + 1;
    return n;
}

uint64_t ClipSpan::Records() const {
    uint64_t n = 0;
    for (const ClipPart& p : parts)
        n += p.recordCount;
    return n;
}

bool PlanSpan(const std::vector<MovieFacts>& chain, size_t current, double t, double before,
              double after, ClipSpan* out) {
    *out = ClipSpan{};
    if (current >= chain.size()) return false;
    for (const MovieFacts& f : chain)
        if (f.Frames() == 0) return false;
    // Where each file starts on one timeline whose 0 is the current file's start.
    std::vector<double> origin(chain.size(), 0.0);
    for (size_t p = current + 1; p < chain.size(); ++p)
        origin[p] = origin[p - 1] + chain[p - 1].Duration();
    for (size_t p = current; p-- > 0;)
        origin[p] = origin[p + 1] - chain[p].Duration();
    const size_t last = chain.size() - 1;
    const double from = t - before, to = t + after;

    size_t first = 0;
    uint32_t firstFrame = 0;
    if (from < origin[0] - kTimeSlack) {
        out->cutAtStart = true;
    } else {
        while (first < last && origin[first + 1] <= from + kTimeSlack)
            ++first;
        firstFrame = chain[first].KeyFrameAtOrBefore(chain[first].FrameAt(from - origin[first]));
    }
    size_t end = last;
    uint32_t endFrame = chain[last].Frames() - 1;
    if (to > origin[last] + chain[last].Duration() + kTimeSlack) {
        out->cutAtEnd = true;
    } else {
        end = first;
        while (end < last && origin[end + 1] <= to + kTimeSlack)
            ++end;
        endFrame = chain[end].FrameAt(to - origin[end]);
    }

    for (size_t p = first; p <= end; ++p) {
        const MovieFacts& f = chain[p];
        ClipPart part;
        part.file = p;
        part.firstFrame = p == first ? firstFrame : 0;
        part.lastFrame = p == end ? endFrame : f.Frames() - 1;
        const auto lo = std::lower_bound(f.recordFrames.begin(), f.recordFrames.end(),
                                         int64_t(part.firstFrame));
        const auto hi = std::upper_bound(lo, f.recordFrames.end(), int64_t(part.lastFrame));
        part.firstRecord = uint64_t(lo - f.recordFrames.begin());
        part.recordCount = uint64_t(hi - lo);
        out->parts.push_back(part);
    }
    out->startSeconds = origin[first] + chain[first].frameStart[firstFrame] - t;
    out->endSeconds = origin[end] + chain[end].frameStart[size_t(endFrame) + 1] - t;
    return true;
}

std::string_view ClipKindWord(int eventKind) {
    if (eventKind >= 0 && eventKind <= 4) return "shock";
    switch (eventKind) {
    case 5:
        return "user";
    case 6:
        return "emergency";
    case 7:
        return "parking";
    case 8:
        return "speeding";
    case 9:
        return "camera";
    case 10:
        return "radar";
    case 11:
    case 12:
    case 13:
        return "assist";
    default:
        return kMomentKindWord;
    }
}

std::string_view ClipKindText(std::string_view word) {
    // The graph's and the settings dialog's names of the kinds.
    for (int kind = 0; kind <= 13; ++kind)
        if (ClipKindWord(kind) == word) return EventKindText(kind);
    return "指定位置";
}

std::string ClipStem(const ClipMomentName& moment, std::string_view kindWord, int suffix) {
    char head[64];
    if (moment.fromGps) {
        const playcore::RecordTime& t = moment.time;
        std::snprintf(head, sizeof head, "EV_%04d%02d%02d_%02d%02d%02d_", t.year % 10000,
                      t.month % 100, t.day % 100, t.hour % 100, t.minute % 100, t.second % 100);
    } else {
        const int s = ((moment.secondsOfDay % 86400) + 86400) % 86400;
        std::snprintf(head, sizeof head, "EV_N%03d_%02d%02d%02d_", moment.fileNumber % 1000,
                      s / 3600, s / 60 % 60, s % 60);
    }
    std::string stem = head + std::string(kindWord);
    if (suffix > 1) stem += "_" + std::to_string(suffix);
    return stem;
}

std::string ClipFileName(std::string_view stem, ClipCamera camera) {
    const char* tail = camera == ClipCamera::Front  ? "_F.MP4"
                       : camera == ClipCamera::Rear ? "_R.MP4"
                                                    : ".MP4";
    return std::string(stem) + tail;
}

std::string ClipIndexName(std::string_view stem) {
    return std::string(stem) + ".txt";
}

} // namespace kinetta
