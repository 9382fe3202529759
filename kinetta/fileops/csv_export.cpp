#include "kinetta/fileops/csv_export.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>

#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/recording_names.h"
#include "platform/files.h"
#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/boxes/stts_box.h"
#include "playcore/container/boxes/tkhd_box.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_write.h"
#include "util/text.h"

namespace kinetta {

using playcore::RecordTime;
using playcore::sMP4MOVIE;

namespace {

bool IsTx50(RecorderFamily family) {
    return family == RecorderFamily::TX50;
}

uint64_t FileBytes(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<uint64_t>(st.st_size);
}

// Integer width of the tkhd of list entry index; -1 when there is none.
int TrackWidthAt(const sMP4MOVIE& movie, size_t index) {
    const auto& list = movie.List(playcore::kTkhdList);
    playcore::TkhdBox tkhd;
    if (index >= list.size() || !tkhd.Read(*list[index])) return -1;
    return static_cast<int>(tkhd.Width());
}

// Sum of the sample sizes of track index's stsz; 0 when there is none.
uint64_t TrackBytes(const sMP4MOVIE& movie, size_t index) {
    const auto& list = movie.List(playcore::kStszList);
    playcore::StszBox stsz;
    if (index >= list.size() || !stsz.Read(*list[index])) return 0;
    return stsz.TotalBytes();
}

// Width of the rear file's first video track: -1 when the file cannot be
// opened or has no sample sizes.
int RearFileWidth(const std::string& path, RecorderFamily family) {
    if (path.empty()) return -1;
    auto movie = playcore::OpenMp4Movie(path, false, family);
    if (!movie || movie->List(playcore::kStszList).empty()) return -1;
    return TrackWidthAt(*movie, 0);
}

std::string Format(const char* format, auto... values) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, values...);
    return n > 0 ? std::string(buffer, static_cast<size_t>(std::min<int>(n, sizeof buffer - 1)))
                 : std::string();
}

std::string MiB(uint64_t bytes) {
    return std::to_string(bytes >> 20) + "MB";
}

} // namespace

float SnapFrameRate(float fps) {
    if (fps >= 4.75f && fps < 5.25f) return 5.0f;
    if (fps >= 27.25f && fps < 27.75f) return 27.5f;
    if (fps >= 27.75f && fps < 28.25f) return 28.0f;
    return fps;
}

int64_t CsvLengthSeconds(int64_t frames, float fps) {
    if (!(fps > 0)) return 0;
    // In double: n / f in single precision is off by more than the half frame
    // that decides here once recordings run for hours.
    const double rate = static_cast<double>(fps);
    const double seconds = static_cast<double>(frames) / rate;
    const double nearest = std::round(seconds);
    // |n - N f| <= 0.5: the frames make N seconds to within half a frame.
    if (std::fabs(static_cast<double>(frames) - nearest * rate) <= 0.5)
        return static_cast<int64_t>(nearest);
    return static_cast<int64_t>(std::floor(seconds));
}

CsvFacts MeasureRecording(const RecordingEntry& entry, RecorderFamily family) {
    CsvFacts facts;
    facts.name = entry.frontName.empty() ? std::string("-") : entry.frontName;
    const std::string& path = entry.DisplayedPath();
    const std::string& name = entry.DisplayedName();
    if (path.empty()) return facts;
    auto movie = playcore::OpenMp4Movie(path, false, family);
    if (!movie || movie->List(playcore::kStsdList).empty()) return facts;

    // Frame count and rate of the first video track. A track without timing
    // (no stts, or sums of zero) has no rate: the short row, rather than a
    // division by zero.
    playcore::StszBox stsz;
    playcore::SttsBox stts;
    const auto& stszList = movie->List(playcore::kStszList);
    const auto& sttsList = movie->List(playcore::kSttsList);
    if (stszList.empty() || !stsz.Read(*stszList[0])) return facts;
    if (sttsList.empty() || !stts.Read(*sttsList[0])) return facts;
    const playcore::SttsSums sums = stts.Sums();
    if (sums.count == 0 || sums.total == 0) return facts;
    // The recorder counts video time in microseconds; single precision as the
    // recorder's own tools compute it.
    const float fps =
        1000000.0f / (static_cast<float>(sums.total) / static_cast<float>(sums.count));
    const float frames = static_cast<float>(stsz.SampleCount());
    if (!std::isfinite(fps) || fps <= 0 || frames / fps <= kCsvShortestSeconds) return facts;
    facts.fps = SnapFrameRate(fps);
    facts.frames = stsz.SampleCount();

    std::optional<RecordTime> start;
    if (playcore::ReadRecordingStartTime(*movie, &start)) facts.start = start;
    facts.trigger = TriggerText(name, family);
    if (IsTx50(family)) {
        facts.enforcement = TriggerCode(name, TriggerPosition::Enforcement, family);
        playcore::GpsBlockBytes block;
        playcore::GpsBlockInfo info;
        if (playcore::LocateBlock(*movie, &block) &&
            playcore::DecodeRecords(family, block.bytes.data(), block.bytes.size(), nullptr,
                                    nullptr, &info))
            facts.qualityLetter = info.tx50Letter;
    }
    if (IsCombinedName(name, family)) {
        // Both cameras in one file: the rear is the second video track, the
        // third track being the sound.
        facts.rearWidth =
            movie->List(playcore::kTkhdList).size() >= 3 ? TrackWidthAt(*movie, 1) : -1;
        facts.frontBytes = TrackBytes(*movie, 0);
        facts.rearBytes = TrackBytes(*movie, 1);
    } else {
        facts.rearWidth = RearFileWidth(entry.rearPath, family);
        facts.frontBytes = FileBytes(entry.frontPath);
        facts.rearBytes = FileBytes(entry.rearPath);
    }
    facts.measured = true;
    return facts;
}

std::string CsvHeader(RecorderFamily family) {
    std::vector<int> cells = {kStrCsvFileName, kStrCsvDate, kStrCsvStartTime, kStrCsvLength,
                              kStrCsvTrigger};
    if (IsTx50(family)) {
        cells.insert(cells.end(), {kStrCsvSpeedCamera, kStrCsvRearPictureSize, kStrCsvQuality,
                                   kStrCsvFrameRate, kStrCsvDataSizeFront, kStrCsvDataSizeRear});
    } else {
        cells.insert(cells.end(), {kStrCsvRearPictureSize, kStrCsvFrameRate, kStrCsvDataSizeMain,
                                   kStrCsvDataSizeRear});
    }
    std::string line;
    for (int id : cells)
        line += UiString(id);
    return line + "\r\n";
}

std::string CsvCell(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string CsvRow(const CsvFacts& f, RecorderFamily family) {
    const bool tx50 = IsTx50(family);
    std::vector<std::string> cells;
    cells.push_back(CsvCell(f.name));
    if (!f.measured) {
        cells.insert(cells.end(), tx50 ? 7 : 5, "-");
        cells.insert(cells.end(), {"fps", "0MB", "0MB"});
    } else {
        if (f.start) {
            const RecordTime& t = *f.start;
            cells.push_back(Format("%04d/%02d/%02d", t.year, t.month, t.day));
            cells.push_back(Format("%02d:%02d:%02d", t.hour, t.minute, t.second));
        } else {
            cells.push_back("--/--/--");
            cells.push_back("--:--:--");
        }
        const int64_t seconds = CsvLengthSeconds(f.frames, f.fps);
        cells.push_back(Format("%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                               static_cast<long long>(seconds / 60 % 60),
                               static_cast<long long>(seconds % 60)));
        cells.push_back(CsvCell(f.trigger));
        if (tx50)
            cells.push_back(
                f.enforcement == kTriggerSpeedCamera ? std::string(UiString(kStrTriggerSpeedCamera))
                : f.enforcement == kTriggerRadar     ? std::string(UiString(kStrTriggerRadar))
                                                     : std::string("-"));
        cells.push_back(f.rearWidth == 1280 ? "HD" : f.rearWidth == 1920 ? "Full HD" : "-");
        if (tx50)
            cells.push_back(f.qualityLetter == 'H'   ? std::string(UiString(kStrQualityHigh))
                            : f.qualityLetter == 'L' ? std::string(UiString(kStrQualityLow))
                                                     : std::string("-"));
        cells.push_back(Format("%.1ffps", static_cast<double>(f.fps)));
        cells.push_back(MiB(f.frontBytes));
        cells.push_back(MiB(f.rearBytes));
    }
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) line += ',';
        line += cells[i];
    }
    return line + "\r\n";
}

std::string CsvFileName(const RecordTime& t) {
    return Format("Dv_%04d%02d%02d_%02d%02d%02d.csv", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
}

std::string CsvFileNameFor(const RecordingEntry& first, RecorderFamily family) {
    const std::string& path = first.DisplayedPath();
    if (path.empty()) return {};
    auto movie = playcore::OpenMp4Movie(path, false, family);
    std::optional<RecordTime> start;
    if (!movie || !playcore::ReadRecordingStartTime(*movie, &start) || !start) return {};
    return CsvFileName(*start);
}

CsvWriteResult WriteCsvFile(const std::vector<RecordingEntry>& entries, RecorderFamily family,
                            const std::string& path, const std::atomic<bool>* running,
                            const std::function<void(int done, int total)>& progress) {
    playcore::OutputFile out;
    if (!out.Create(path)) return CsvWriteResult::Failed;
    const std::string header = CsvHeader(family);
    if (!out.Write(header.data(), header.size())) return CsvWriteResult::Failed;
    const int total = static_cast<int>(entries.size());
    for (int i = 0; i < total; ++i) {
        if (running && !running->load()) {
            out.Abandon();
            return CsvWriteResult::Cancelled;
        }
        const RecordingEntry& e = entries[size_t(i)];
        const std::string row = CsvRow(MeasureRecording(e, family), family);
        // A listed file that is gone now (the card pulled, the file removed
        // meanwhile) was measured as a short row: the list is no longer what
        // the file would say, so nothing is written.
        for (const std::string* file : {&e.frontPath, &e.rearPath})
            if (!file->empty() && !platform::IsRegularFile(*file)) return CsvWriteResult::Failed;
        if (!out.Write(row.data(), row.size())) return CsvWriteResult::Failed;
        if (progress) progress(i, total);
    }
    if (!out.Commit()) return CsvWriteResult::Failed;
    if (progress) progress(total, total);
    return CsvWriteResult::Written;
}

} // namespace kinetta
