#pragma once
// The chunks of a track as its sample tables describe them: where each chunk
// lies in the source, how many samples it holds and their sizes. Split copies
// chunks by this list; join checks by it that every chunk of a file lies
// inside that file's media data.

#include <cstdint>
#include <string>
#include <vector>

#include "playcore/container/mp4_tracks.h"

namespace playcore {

// One chunk of a kept track.
struct ChunkRecord {
    int track = 0;               // 0: the camera's video track, 1: the audio track
    uint32_t index = 0;          // chunk number within its track, from 0
    uint32_t sourceOffset = 0;   // file offset of the chunk in the source
    uint64_t sourceLength = 0;   // to the track's next chunk; the last: to the end of the mdat
    uint64_t written = 0;        // bytes the chunk holds (sum of its sample sizes)
    uint32_t sampleCount = 0;    // samples in the chunk
    uint32_t firstSample = 0;    // number of the chunk's first sample in its track, from 0
    uint32_t description = 1;    // the sample description (stsd entry) its stsc entry names
    std::vector<uint32_t> sizes; // the chunk's sample sizes, in order
};

// Samples and chunks a track may hold; hostile tables beyond them fail
// instead of taking memory (a recorder's track holds a few thousand of each).
inline constexpr uint64_t kMaxSplitSamples = 1u << 24;
inline constexpr uint64_t kMaxSplitChunks = 1u << 20;

// Appends the chunks of track t, in chunk order, labelled label (0 video, 1
// sound), to *out. False, with the reason in *why, when a table is malformed
// (a stsc whose first entry is not chunk 1 or whose chunk numbers do not rise,
// samples that do not add up to the stsz count, more than kMaxSplitSamples or
// kMaxSplitChunks) or a chunk's bytes do not lie wholly inside mdat's payload
// as read from the file.
bool ExpandChunks(const TrackBoxes& t, int label, const sTAGNODE& mdat,
                  std::vector<ChunkRecord>* out, std::string* why);

} // namespace playcore
