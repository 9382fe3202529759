#pragma once
// Recordings in the recorder's layout whose samples are not pictures but
// labels: every sample's bytes say which file, track and sample it is, so a
// test can tell exactly which samples a clip holds. The GPS block is mkcard's
// (its route, times and events). Written without any codec, so the tests that
// use them also run under the sanitizers.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "playcore/container/chunk_list.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tracks.h"
#include "playcore/container/mp4_tree.h"
#include "tools/mkcard/mp4_writer.h"
#include "tools/mkcard/recording.h"

namespace fakerec {

using playcore::RecorderFamily;

struct Recipe {
    RecorderFamily family = RecorderFamily::TX40;
    mkcard::FileContent content = mkcard::FileContent::Front;
    mkcard::CivilTime start{2025, 1, 1, 12, 0, 0};
    double seconds = 3;
    uint32_t frameUs = 100000; // 10 frames a second
    int gop = 5;
    int fileId = 0;
    bool gps = true;
    double realPerRecord = 1; // 15: a time-lapse recording
    std::vector<mkcard::GpsEvent> events;
};

// The bytes of sample i of track t of file f.
inline std::vector<uint8_t> Label(int f, int t, uint32_t i) {
    return {'S', uint8_t(f), uint8_t(t), uint8_t(i >> 8), uint8_t(i), uint8_t(f ^ t ^ i), 0, 0};
}

inline uint32_t Frames(const Recipe& s) {
    return uint32_t(mkcard::FrameCount(s.seconds, s.frameUs));
}

// Sound frames of 1024 samples at 48 kHz covering the picture, and the one
// frame of encoder delay the edit list skips.
inline uint32_t SoundFrames(const Recipe& s) {
    const double seconds = double(Frames(s)) * s.frameUs / 1e6;
    return uint32_t(seconds * 48000 / 1024 + 0.999999) + 1;
}

inline bool Write(const std::string& path, const Recipe& s) {
    mkcard::Mp4Movie movie;
    movie.creationTime = mkcard::Mp4Seconds(s.start);
    const int pictures = s.content == mkcard::FileContent::Combined ? 2 : 1;
    int t = 0;
    for (; t < pictures; ++t) {
        mkcard::Mp4Track v;
        v.kind = mkcard::TrackKind::Video;
        v.sampleDelta = s.frameUs;
        v.width = 320;
        v.height = 180;
        v.sampleEntry = mkcard::AvcSampleEntry(320, 180, {1, 0x42, 0, 0x1e, 0xff, 0xe0, 0});
        for (uint32_t i = 0; i < Frames(s); ++i) {
            v.samples.push_back(Label(s.fileId, t, i));
            v.sync.push_back(i % uint32_t(s.gop) == 0);
        }
        movie.tracks.push_back(std::move(v));
    }
    mkcard::Mp4Track a;
    a.kind = mkcard::TrackKind::Audio;
    a.timescale = 48000;
    a.sampleDelta = 1024;
    a.mediaTime = 1024;
    a.sampleEntry = mkcard::Mp4aSampleEntry(1, 48000, {0x11, 0x88}, 64000, 64000, 64);
    for (uint32_t i = 0; i < SoundFrames(s); ++i)
        a.samples.push_back(Label(s.fileId, t, i));
    movie.tracks.push_back(std::move(a));

    mkcard::RecordingSpec recipe;
    recipe.family = s.family;
    recipe.content = s.content;
    recipe.start = s.start;
    recipe.durationSeconds = s.seconds;
    recipe.frameUs = s.frameUs;
    recipe.gps = s.gps;
    recipe.realSecondsPerRecord = s.realPerRecord;
    recipe.events = s.events;
    movie.trailer = mkcard::RecordingTrailer(recipe, nullptr);
    const std::vector<uint8_t> bytes = mkcard::BuildMp4(movie);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok && !bytes.empty();
}

// Every track's samples of a movie file, read through its tables.
inline std::vector<std::vector<std::vector<uint8_t>>> Samples(const std::string& path,
                                                              RecorderFamily family) {
    std::vector<std::vector<std::vector<uint8_t>>> out;
    auto movie = playcore::OpenMp4Movie(path, true, family);
    playcore::MovieLayout layout;
    if (!movie || !playcore::ReadMovieLayout(*movie, &layout)) return out;
    for (size_t t = 0; t < layout.tracks.size(); ++t) {
        std::vector<playcore::ChunkRecord> chunks;
        if (!playcore::ExpandChunks(layout.tracks[t], 0, *layout.mdat, &chunks, nullptr)) return {};
        out.emplace_back();
        for (const playcore::ChunkRecord& c : chunks) {
            uint64_t at = c.sourceOffset;
            for (uint32_t size : c.sizes) {
                std::vector<uint8_t> bytes(size);
                if (!playcore::ReadRange(movie->map, at, bytes.data(), size)) return {};
                out.back().push_back(std::move(bytes));
                at += size;
            }
        }
    }
    return out;
}

} // namespace fakerec
