#pragma once
// Writes a movie in the recorder's file layout: a 24-byte `ftyp`, one `mdat`
// holding the chunks of all tracks interleaved in time order, then `moov`, then
// whatever the recorder appends (the GPS box or block). 32-bit box sizes and
// `stco` chunk offsets only; one `stsc` entry per chunk.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mkcard {

enum class TrackKind { Video, Audio };

struct Mp4Track {
    TrackKind kind = TrackKind::Video;
    uint32_t timescale = 1000000; // media units per second (video: microseconds)
    uint32_t sampleDelta = 34364; // every sample lasts this many media units
    std::vector<std::vector<uint8_t>> samples;
    std::vector<bool> sync;           // video: one flag per sample; audio: unused (no stss)
    std::vector<uint8_t> sampleEntry; // the complete `avc1` or `mp4a` box
    uint16_t width = 0;               // video picture size, 0 for audio
    uint16_t height = 0;
    int32_t mediaTime = 0; // first media time shown (the edit list skips the encoder delay)
};

struct Mp4Movie {
    std::vector<Mp4Track> tracks; // in file order: video tracks, then the audio track
    uint32_t movieTimescale = 1000;
    uint64_t creationTime = 0;     // seconds since 1904-01-01 00:00
    double chunkSeconds = 0.5;     // media time each chunk covers
    bool unknownUdtaChild = false; // a `udta` whose only child has a type outside the known list
    bool omitMoov = false;         // an unfinished recording: `ftyp` and `mdat` only
    std::vector<uint8_t> trailer;  // written after the last box (GPS box or block)
};

struct ChunkInfo {
    int track = 0;
    uint32_t firstSample = 0; // 0-based index within the track
    uint32_t sampleCount = 0;
    uint32_t offset = 0; // file offset of the chunk's first byte
};

struct Mp4Summary {
    uint64_t fileSize = 0;
    uint32_t mdatOffset = 0; // of the box header
    uint32_t mdatSize = 0;   // box size, header included
    uint32_t moovOffset = 0;
    uint32_t moovSize = 0;
    uint32_t movieDuration = 0;           // movie time-scale units
    std::vector<uint32_t> trackDurations; // movie time-scale units
    std::vector<ChunkInfo> chunks;        // in file order
};

// Receives the file's bytes in order; false stops the write.
using ByteSink = std::function<bool(const uint8_t* data, size_t size)>;

// Writes the movie; false with a message when the movie cannot be laid out
// (no samples, sizes beyond 32 bits) or the sink refused bytes.
bool WriteMp4(const Mp4Movie& movie, const ByteSink& sink, Mp4Summary* summary, std::string* error);
// The same into memory.
std::vector<uint8_t> BuildMp4(const Mp4Movie& movie, Mp4Summary* summary = nullptr);

// H.264 helpers: the encoder's Annex B output (start codes) and the AVCC form
// stored in MP4 samples (4-byte big-endian NAL lengths).
std::vector<uint8_t> AnnexBToLengthPrefixed(const uint8_t* data, size_t size);
// `avcC` payload from Annex B parameter sets (SPS and PPS); empty when missing.
std::vector<uint8_t> AvcConfigFromAnnexB(const uint8_t* data, size_t size);
std::vector<uint8_t> AvcSampleEntry(uint16_t width, uint16_t height,
                                    const std::vector<uint8_t>& avcConfig);
// AAC: `mp4a` with an `esds` holding the AudioSpecificConfig.
std::vector<uint8_t> Mp4aSampleEntry(uint16_t channels, uint32_t sampleRate,
                                     const std::vector<uint8_t>& audioSpecificConfig,
                                     uint32_t avgBitrate, uint32_t maxBitrate, uint32_t bufferSize);

} // namespace mkcard
