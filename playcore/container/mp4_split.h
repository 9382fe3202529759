#pragma once
// Separating a combined recording (front video, rear video and sound in one
// file) into one file per camera, each with the sound, without decoding:
// the kept tracks' chunks are copied into a new mdat in file order and their
// tables point at the new places. Sources are only ever read.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "playcore/container/chunk_list.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_write.h"

namespace playcore {

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
// TX50 family's block, which lies outside the boxes, is not carried. Both
// outputs are written under temporary names and renamed into place only when
// both are complete, so that they appear together or not at all (a full disk
// or an unwritable folder for either leaves neither); two paths naming the
// same file, or an output that would replace the source, are refused.
// *running (if given) cleared stops the write, leaving nothing under the
// final names. existing: with OnExisting::Keep an entry (a file, a link) at
// either name makes the separation fail and leaves both names as they were.
bool SeparateTracks(sMP4MOVIE& movie, const std::string& frontPath, const std::string& rearPath,
                    const std::atomic<bool>* running = nullptr, std::string* why = nullptr,
                    OnExisting existing = OnExisting::Replace);

} // namespace playcore
