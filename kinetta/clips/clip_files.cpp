#include "kinetta/clips/clip_files.h"

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "kinetta/catalogue/recording_names.h"
#include "kinetta/telemetry/event_list.h"
#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_trim.h"
#include "util/text.h"

namespace kinetta {

namespace {

bool Fail(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return false;
}

// Which camera's file a recorder name is: 'F' front, 'R' rear, 'C' a
// combined file; 0 for a name that is no recorder recording's (a clip, a
// joined movie, anything else).
char CameraForm(std::string_view name, RecorderFamily family) {
    if (ClassifyClipName(name) != ClipNameKind::None || HasJoinPrefix(name, family) ||
        !IsRecordingName(name, family))
        return 0;
    if (IsCombinedName(name, family)) return 'C';
    if (IsFrontName(name, family)) return 'F';
    if (IsRearName(name, family)) return 'R';
    return 0;
}

bool HasMp4Extension(std::string_view name) {
    return name.size() > 4 && kutil::EqualsNoCase(name.substr(name.size() - 4), ".MP4");
}

} // namespace

bool ReadClipSource(const std::string& path, RecorderFamily family, ClipSourceFile* out,
                    std::string* why) {
    *out = ClipSourceFile{};
    out->facts.path = path;
    auto movie = playcore::OpenMp4Movie(path, true, family);
    if (!movie) return Fail(why, path + ": cannot be opened as a movie");
    std::vector<playcore::TrackTiming> timings;
    std::string reason;
    if (!playcore::ReadTrackTimings(*movie, &timings, &reason))
        return Fail(why, path + ": " + reason);
    const auto video = std::find_if(timings.begin(), timings.end(), [](const auto& t) {
        return t.kind == playcore::TrackTiming::Kind::Video;
    });
    if (video == timings.end() || video->Samples() == 0)
        return Fail(why, path + ": the movie has no picture");
    out->pictureTracks = int(std::count_if(timings.begin(), timings.end(), [](const auto& t) {
        return t.kind == playcore::TrackTiming::Kind::Video;
    }));
    MovieFacts& f = out->facts;
    f.frameStart.reserve(video->start.size());
    for (uint64_t s : video->start)
        f.frameStart.push_back(double(s) / video->timescale);
    f.keyFrames = video->sync;

    // The time base the viewer builds: the first track's frame count.
    uint32_t frames = 0;
    const auto& stsz = movie->List(playcore::kStszList);
    if (stsz.empty() || !playcore::CheckedSampleCount(*movie, *stsz.front(), &frames))
        return Fail(why, path + ": malformed stsz");
    playcore::sGPSREADER reader;
    if (!playcore::LoadRecords(reader, *movie) || !playcore::BuildTimeBase(reader, frames))
        return Fail(why, path + ": the GPS records cannot be read");
    movie.reset();
    std::lock_guard lock(reader.mutex);
    for (const playcore::AccelRecord& a : reader.accel)
        f.recordFrames.push_back(a.framePos);
    out->gps = reader.gps;
    for (playcore::GpsRecord& g : out->gps)
        g.accel = nullptr;
    if (!out->gps.empty()) {
        f.firstTime = out->gps.front().time;
        f.firstValid = out->gps.front().valid == 1;
        f.lastTime = out->gps.back().time;
        f.lastValid = out->gps.back().valid == 1;
    }
    out->frameRecord.reserve(reader.frameTable.size());
    for (const playcore::AccelRecord* a : reader.frameTable)
        out->frameRecord.push_back(a ? a->index : -1);
    DetectorFlags all;
    for (const GraphEvent& e :
         BuildEventList(reader.frameTable, reader.accel, all.listing, family)) {
        ClipEvent c;
        c.record = e.record;
        c.frame = e.accel->framePos;
        c.kind = e.kind;
        c.entry = e.entry;
        c.seconds = c.frame < int64_t(f.Frames()) ? f.frameStart[size_t(c.frame)] : f.Duration();
        out->events.push_back(c);
    }

    // Real seconds per movie second: the records' time step against their
    // step in the movie. Near 1 is 1 (the records' times are whole seconds).
    const size_t r = f.recordFrames.size();
    if (r >= 2 && f.firstValid && f.lastValid) {
        const double real = double(CivilSeconds(*f.lastTime) - CivilSeconds(*f.firstTime));
        const int64_t a = std::clamp<int64_t>(f.recordFrames.front(), 0, f.Frames());
        const int64_t b = std::clamp<int64_t>(f.recordFrames.back(), 0, f.Frames());
        const double movieSpan = f.frameStart[size_t(b)] - f.frameStart[size_t(a)];
        if (real > 0 && movieSpan > 0) {
            const double ratio = real / movieSpan;
            out->realPerMovieSecond = std::fabs(ratio - 1) < 0.25 ? 1.0 : ratio;
        }
    }
    return true;
}

std::string NeighbourFile(const std::string& path, RecorderFamily family, int direction) {
    const std::string dir = kutil::DirectoryOf(path);
    const std::string name(kutil::FileNameOf(path));
    const char form = CameraForm(name, family);
    if (form == 0 || direction == 0) return {};
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (HasMp4Extension(n) && CameraForm(n, family) == form) names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    const auto self = std::lower_bound(names.begin(), names.end(), name);
    if (self == names.end() || *self != name) return {};
    if (direction < 0 && self == names.begin()) return {};
    if (direction > 0 && self + 1 == names.end()) return {};
    const std::string other = kutil::JoinPath(dir, direction < 0 ? *(self - 1) : *(self + 1));
    return playcore::IsRecordingComplete(other, family) ? other : std::string();
}

double NameRealPerMovieSecond(std::string_view name, RecorderFamily family) {
    const int lapse = TriggerCode(name, TriggerPosition::TimeLapse, family);
    return family == RecorderFamily::TX50 && (lapse == 7 || lapse == 8) ? 15.0 : 1.0;
}

playcore::RecordTime AddSeconds(const playcore::RecordTime& t, int64_t seconds) {
    const int64_t total = CivilSeconds(t) + seconds;
    int64_t days = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
    const int64_t rest = total - days * 86400;
    playcore::RecordTime out;
    out.hour = uint16_t(rest / 3600);
    out.minute = uint16_t(rest / 60 % 60);
    out.second = uint16_t(rest % 60);
    out.dayOfWeek = uint16_t(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    // Civil date of a day number (days from 1970-01-01).
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    out.year = uint16_t(yoe + era * 400 + (month <= 2));
    out.month = uint16_t(month);
    out.day = uint16_t(day);
    return out;
}

} // namespace kinetta
