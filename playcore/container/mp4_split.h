#pragma once
// Separating a combined recording (front video, rear video and sound in one
// file) into one file per camera, each with the sound, without decoding:
// the kept tracks' chunks are copied into a new mdat in file order and their
// tables point at the new places. Sources are only ever read.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "playcore/container/mp4_tree.h"

namespace playcore {

// One chunk of a kept track.
struct ChunkRecord {
    int track = 0;               // 0: the camera's video track, 1: the audio track
    uint32_t index = 0;          // chunk number within its track, from 0
    uint32_t sourceOffset = 0;   // file offset of the chunk in the source
    uint64_t sourceLength = 0;   // to the track's next chunk; the last: to the end of the mdat
    uint64_t written = 0;        // bytes the chunk holds (sum of its sample sizes)
    uint32_t sampleCount = 0;    // samples in the chunk
    std::vector<uint32_t> sizes; // the chunk's sample sizes, in order
};

// The chunks of two tracks (indices into the movie's tracks, file order)
// merged by source offset: at each step the chunk with the smaller offset
// goes first, the audio track's on equal offsets; when one track runs out
// the other's chunks follow in order. False when a table is malformed (a
// stsc whose first entry is not chunk 1 or whose chunk numbers do not rise,
// samples that do not add up to the stsz count) or a chunk's samples do not
// lie inside the source's mdat.
bool BuildChunkList(sMP4MOVIE& movie, size_t videoTrack, size_t audioTrack,
                    std::vector<ChunkRecord>* out, std::string* why = nullptr);

// Writes the front camera's file (first track and the last, the sound) to
// frontPath and, when the movie has at least three tracks, the rear camera's
// file (second track and the last) to rearPath. An empty path skips that
// file; with two tracks the front file holds both. Each output holds ftyp,
// an mdat of exactly its two tracks' chunks (the first at file offset 32 in
// the recorder's layout), the moov with only those tracks (IDs 1 and 2,
// next-track ID 3; the movie duration is the source's for the front file and
// the rear track's for the rear file), and the TX40 family's GPS box; the
// TX50 family's block, which lies outside the boxes, is not carried. Outputs
// are written under a temporary name and renamed into place when complete,
// and may not replace the source. When the front file fails the rear file is
// not attempted. *running (if given) cleared stops the write, leaving
// nothing under the final name.
bool SeparateTracks(sMP4MOVIE& movie, const std::string& frontPath, const std::string& rearPath,
                    const std::atomic<bool>* running = nullptr, std::string* why = nullptr);

// Samples and chunks a kept track may hold; hostile tables beyond them fail
// instead of taking memory (a recorder's track holds a few thousand of each).
inline constexpr uint64_t kMaxSplitSamples = 1u << 24;
inline constexpr uint64_t kMaxSplitChunks = 1u << 20;

} // namespace playcore
