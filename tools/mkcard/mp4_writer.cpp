#include "tools/mkcard/mp4_writer.h"

#include <algorithm>
#include <cmath>

#include "tools/mkcard/box_writer.h"

namespace mkcard {

namespace {

constexpr uint32_t kFixedOne = 0x00010000;
constexpr uint32_t kMatrix[9] = {kFixedOne, 0, 0, 0, kFixedOne, 0, 0, 0, 0x40000000};

void WriteMatrix(ByteWriter& w) {
    for (uint32_t v : kMatrix)
        w.U32(v);
}

// Track duration in movie units: the media shown after the edit's start.
uint32_t TrackDuration(const Mp4Track& t, uint32_t movieTimescale) {
    const uint64_t media = static_cast<uint64_t>(t.samples.size()) * t.sampleDelta;
    const uint64_t shown = media > static_cast<uint64_t>(std::max(0, t.mediaTime))
                               ? media - static_cast<uint64_t>(std::max(0, t.mediaTime))
                               : 0;
    return static_cast<uint32_t>((shown * movieTimescale + t.timescale / 2) / t.timescale);
}

// Splits every track into chunks covering chunkSeconds of media time each and
// orders them by start time; at equal start times the track order of the file.
std::vector<ChunkInfo> PlanChunks(const Mp4Movie& movie) {
    struct Pending {
        uint64_t period;
        ChunkInfo chunk;
    };
    std::vector<Pending> all;
    for (size_t ti = 0; ti < movie.tracks.size(); ++ti) {
        const Mp4Track& t = movie.tracks[ti];
        const double unitsPerChunk = movie.chunkSeconds * t.timescale;
        ChunkInfo current;
        current.track = static_cast<int>(ti);
        uint64_t currentPeriod = 0;
        for (uint32_t i = 0; i < t.samples.size(); ++i) {
            const double start = static_cast<double>(i) * t.sampleDelta;
            const uint64_t period = static_cast<uint64_t>(std::floor(start / unitsPerChunk));
            if (current.sampleCount > 0 && period != currentPeriod) {
                all.push_back({currentPeriod, current});
                current.sampleCount = 0;
            }
            if (current.sampleCount == 0) {
                current.firstSample = i;
                currentPeriod = period;
            }
            ++current.sampleCount;
        }
        if (current.sampleCount > 0) all.push_back({currentPeriod, current});
    }
    std::stable_sort(all.begin(), all.end(), [](const Pending& a, const Pending& b) {
        if (a.period != b.period) return a.period < b.period;
        return a.chunk.track < b.chunk.track;
    });
    std::vector<ChunkInfo> out;
    out.reserve(all.size());
    for (const Pending& p : all)
        out.push_back(p.chunk);
    return out;
}

void WriteTrack(ByteWriter& w, const Mp4Movie& movie, size_t index,
                const std::vector<ChunkInfo>& chunks) {
    const Mp4Track& t = movie.tracks[index];
    const bool video = t.kind == TrackKind::Video;
    const uint32_t created = static_cast<uint32_t>(movie.creationTime);
    const uint32_t duration = TrackDuration(t, movie.movieTimescale);
    const uint32_t sampleCount = static_cast<uint32_t>(t.samples.size());

    size_t trak = w.BeginBox("trak");
    {
        // Flags 3: enabled and in the movie.
        size_t b = w.BeginFullBox("tkhd", 0, 3);
        w.U32(created);
        w.U32(created);
        w.U32(static_cast<uint32_t>(index + 1)); // track ID
        w.U32(0);
        w.U32(duration);
        w.Zeros(8);
        w.U16(0);                  // layer
        w.U16(0);                  // alternate group
        w.U16(video ? 0 : 0x0100); // volume
        w.U16(0);
        WriteMatrix(w);
        w.U32(uint32_t{t.width} << 16);
        w.U32(uint32_t{t.height} << 16);
        w.EndBox(b);
    }
    {
        size_t edts = w.BeginBox("edts");
        size_t b = w.BeginFullBox("elst", 0, 0);
        w.U32(1);
        w.U32(duration);
        w.I32(t.mediaTime);
        w.U32(kFixedOne);
        w.EndBox(b);
        w.EndBox(edts);
    }
    size_t mdia = w.BeginBox("mdia");
    {
        size_t b = w.BeginFullBox("mdhd", 0, 0);
        w.U32(created);
        w.U32(created);
        w.U32(t.timescale);
        w.U32(static_cast<uint32_t>(static_cast<uint64_t>(sampleCount) * t.sampleDelta));
        w.U16(0x55C4); // "und"
        w.U16(0);
        w.EndBox(b);
    }
    {
        size_t b = w.BeginFullBox("hdlr", 0, 0);
        w.U32(0);
        w.Text(video ? "vide" : "soun");
        w.Zeros(12);
        const char* name = video ? "VideoHandler" : "SoundHandler";
        w.Text(name);
        w.U8(0);
        w.EndBox(b);
    }
    size_t minf = w.BeginBox("minf");
    if (video) {
        size_t b = w.BeginFullBox("vmhd", 0, 1);
        w.Zeros(8); // graphics mode, colour
        w.EndBox(b);
    } else {
        size_t b = w.BeginFullBox("smhd", 0, 0);
        w.Zeros(4); // balance, reserved
        w.EndBox(b);
    }
    {
        size_t dinf = w.BeginBox("dinf");
        size_t dref = w.BeginFullBox("dref", 0, 0);
        w.U32(1);
        size_t url = w.BeginFullBox("url ", 0, 1); // flag 1: media in this file
        w.EndBox(url);
        w.EndBox(dref);
        w.EndBox(dinf);
    }
    size_t stbl = w.BeginBox("stbl");
    {
        size_t b = w.BeginFullBox("stsd", 0, 0);
        w.U32(1);
        w.Bytes(t.sampleEntry);
        w.EndBox(b);
    }
    {
        size_t b = w.BeginFullBox("stts", 0, 0);
        w.U32(1);
        w.U32(sampleCount);
        w.U32(t.sampleDelta);
        w.EndBox(b);
    }
    if (video) {
        std::vector<uint32_t> syncNumbers;
        for (uint32_t i = 0; i < sampleCount; ++i)
            if (i < t.sync.size() && t.sync[i]) syncNumbers.push_back(i + 1);
        size_t b = w.BeginFullBox("stss", 0, 0);
        w.U32(static_cast<uint32_t>(syncNumbers.size()));
        for (uint32_t n : syncNumbers)
            w.U32(n);
        w.EndBox(b);
    }
    {
        size_t b = w.BeginFullBox("stsz", 0, 0);
        w.U32(0); // sizes follow, one per sample
        w.U32(sampleCount);
        for (const auto& s : t.samples)
            w.U32(static_cast<uint32_t>(s.size()));
        w.EndBox(b);
    }
    std::vector<const ChunkInfo*> own;
    for (const ChunkInfo& c : chunks)
        if (c.track == static_cast<int>(index)) own.push_back(&c);
    {
        // One entry per chunk, also where neighbours hold the same number of samples.
        size_t b = w.BeginFullBox("stsc", 0, 0);
        w.U32(static_cast<uint32_t>(own.size()));
        for (size_t k = 0; k < own.size(); ++k) {
            w.U32(static_cast<uint32_t>(k + 1));
            w.U32(own[k]->sampleCount);
            w.U32(1);
        }
        w.EndBox(b);
    }
    {
        size_t b = w.BeginFullBox("stco", 0, 0);
        w.U32(static_cast<uint32_t>(own.size()));
        for (const ChunkInfo* c : own)
            w.U32(c->offset);
        w.EndBox(b);
    }
    w.EndBox(stbl);
    w.EndBox(minf);
    w.EndBox(mdia);
    w.EndBox(trak);
}

std::vector<uint8_t> BuildMoov(const Mp4Movie& movie, const std::vector<ChunkInfo>& chunks,
                               Mp4Summary* summary) {
    ByteWriter w;
    size_t moov = w.BeginBox("moov");
    uint32_t movieDuration = 0;
    std::vector<uint32_t> durations;
    for (const Mp4Track& t : movie.tracks) {
        durations.push_back(TrackDuration(t, movie.movieTimescale));
        movieDuration = std::max(movieDuration, durations.back());
    }
    {
        size_t b = w.BeginFullBox("mvhd", 0, 0);
        const uint32_t created = static_cast<uint32_t>(movie.creationTime);
        w.U32(created);
        w.U32(created);
        w.U32(movie.movieTimescale);
        w.U32(movieDuration);
        w.U32(kFixedOne); // rate
        w.U16(0x0100);    // volume
        w.Zeros(10);
        WriteMatrix(w);
        w.Zeros(24);
        w.U32(static_cast<uint32_t>(movie.tracks.size() + 1)); // next track ID
        w.EndBox(b);
    }
    for (size_t i = 0; i < movie.tracks.size(); ++i)
        WriteTrack(w, movie, i, chunks);
    if (movie.unknownUdtaChild) {
        size_t udta = w.BeginBox("udta");
        size_t child = w.BeginBox("vndr");
        w.Text("kinetta-mkcard");
        w.U8(0);
        w.EndBox(child);
        w.EndBox(udta);
    }
    w.EndBox(moov);
    if (summary) {
        summary->movieDuration = movieDuration;
        summary->trackDurations = durations;
    }
    return std::move(w.bytes());
}

} // namespace

bool WriteMp4(const Mp4Movie& movie, const ByteSink& sink, Mp4Summary* summary,
              std::string* error) {
    auto fail = [&](const char* message) {
        if (error) *error = message;
        return false;
    };
    if (movie.tracks.empty()) return fail("a movie needs at least one track");
    for (const Mp4Track& t : movie.tracks) {
        if (t.samples.empty()) return fail("a track has no samples");
        if (t.timescale == 0 || t.sampleDelta == 0) return fail("a track has no timing");
    }
    if (!(movie.chunkSeconds > 0)) return fail("chunk duration must be positive");

    // ftyp: major brand, minor version, two compatible brands = 24 bytes.
    ByteWriter head;
    size_t ftyp = head.BeginBox("ftyp");
    head.Text("isom");
    head.U32(0x200);
    head.Text("isom");
    head.Text("mp42");
    head.EndBox(ftyp);

    std::vector<ChunkInfo> chunks = PlanChunks(movie);
    uint64_t mdatPayload = 0;
    for (const ChunkInfo& c : chunks) {
        const Mp4Track& t = movie.tracks[static_cast<size_t>(c.track)];
        for (uint32_t i = 0; i < c.sampleCount; ++i)
            mdatPayload += t.samples[c.firstSample + i].size();
    }
    const uint64_t mdatOffset = head.size();
    if (mdatPayload + 8 + mdatOffset > 0xFFFFFFFFull) return fail("media data beyond 4 GiB");
    uint64_t at = mdatOffset + 8;
    for (ChunkInfo& c : chunks) {
        c.offset = static_cast<uint32_t>(at);
        const Mp4Track& t = movie.tracks[static_cast<size_t>(c.track)];
        for (uint32_t i = 0; i < c.sampleCount; ++i)
            at += t.samples[c.firstSample + i].size();
    }
    head.U32(static_cast<uint32_t>(mdatPayload + 8));
    head.Text("mdat");

    Mp4Summary local;
    Mp4Summary& s = summary ? *summary : local;
    s = Mp4Summary{};
    std::vector<uint8_t> moov;
    if (!movie.omitMoov) moov = BuildMoov(movie, chunks, &s);
    s.mdatOffset = static_cast<uint32_t>(mdatOffset);
    s.mdatSize = static_cast<uint32_t>(mdatPayload + 8);
    s.moovOffset = movie.omitMoov ? 0 : static_cast<uint32_t>(at);
    s.moovSize = static_cast<uint32_t>(moov.size());
    s.chunks = chunks;
    s.fileSize = at + moov.size() + (movie.omitMoov ? 0 : movie.trailer.size());
    if (s.fileSize > 0xFFFFFFFFull) return fail("file beyond 4 GiB");

    if (!sink(head.bytes().data(), head.size())) return fail("write failed");
    for (const ChunkInfo& c : chunks) {
        const Mp4Track& t = movie.tracks[static_cast<size_t>(c.track)];
        for (uint32_t i = 0; i < c.sampleCount; ++i) {
            const auto& sample = t.samples[c.firstSample + i];
            if (!sample.empty() && !sink(sample.data(), sample.size())) return fail("write failed");
        }
    }
    if (movie.omitMoov) return true;
    if (!sink(moov.data(), moov.size())) return fail("write failed");
    if (!movie.trailer.empty() && !sink(movie.trailer.data(), movie.trailer.size()))
        return fail("write failed");
    return true;
}

std::vector<uint8_t> BuildMp4(const Mp4Movie& movie, Mp4Summary* summary) {
    std::vector<uint8_t> out;
    std::string error;
    bool ok = WriteMp4(
        movie,
        [&](const uint8_t* data, size_t size) {
            out.insert(out.end(), data, data + size);
            return true;
        },
        summary, &error);
    if (!ok) out.clear();
    return out;
}

namespace {

// Calls f(nal, size) for every NAL unit of an Annex B stream (3- or 4-byte start codes).
template <typename F> void ForEachNal(const uint8_t* data, size_t size, F f) {
    size_t i = 0;
    auto startCodeAt = [&](size_t p) {
        return p + 3 <= size && data[p] == 0 && data[p + 1] == 0 && data[p + 2] == 1;
    };
    while (i < size && !startCodeAt(i))
        ++i;
    while (i < size) {
        i += 3;
        size_t begin = i;
        while (i < size && !startCodeAt(i))
            ++i;
        size_t end = i;
        // A zero before the next start code belongs to a 4-byte start code.
        while (end > begin && i < size && data[end - 1] == 0)
            --end;
        if (end > begin) f(data + begin, end - begin);
    }
}

} // namespace

std::vector<uint8_t> AnnexBToLengthPrefixed(const uint8_t* data, size_t size) {
    ByteWriter w;
    ForEachNal(data, size, [&](const uint8_t* nal, size_t n) {
        w.U32(static_cast<uint32_t>(n));
        w.Bytes(nal, n);
    });
    return std::move(w.bytes());
}

std::vector<uint8_t> AvcConfigFromAnnexB(const uint8_t* data, size_t size) {
    std::vector<uint8_t> sps, pps;
    ForEachNal(data, size, [&](const uint8_t* nal, size_t n) {
        const int type = nal[0] & 0x1F;
        if (type == 7 && sps.empty()) sps.assign(nal, nal + n);
        if (type == 8 && pps.empty()) pps.assign(nal, nal + n);
    });
    if (sps.size() < 4 || pps.empty()) return {};
    ByteWriter w;
    w.U8(1);
    w.U8(sps[1]); // profile
    w.U8(sps[2]); // constraint flags
    w.U8(sps[3]); // level
    w.U8(0xFF);   // 4-byte NAL lengths
    w.U8(0xE1);   // one SPS
    w.U16(static_cast<uint16_t>(sps.size()));
    w.Bytes(sps);
    w.U8(1);
    w.U16(static_cast<uint16_t>(pps.size()));
    w.Bytes(pps);
    const int profile = sps[1];
    if (profile == 100 || profile == 110 || profile == 122 || profile == 144) {
        // High profiles carry the picture format: 4:2:0, 8 bits, no SPS extensions.
        w.U8(0xFC | 1);
        w.U8(0xF8 | 0);
        w.U8(0xF8 | 0);
        w.U8(0);
    }
    return std::move(w.bytes());
}

std::vector<uint8_t> AvcSampleEntry(uint16_t width, uint16_t height,
                                    const std::vector<uint8_t>& avcConfig) {
    ByteWriter w;
    size_t entry = w.BeginBox("avc1");
    w.Zeros(6);
    w.U16(1); // data reference index
    w.Zeros(16);
    w.U16(width);
    w.U16(height);
    w.U32(0x00480000); // 72 dpi
    w.U32(0x00480000);
    w.U32(0);
    w.U16(1); // frames per sample
    const char name[] = "AVC Coding";
    w.U8(sizeof name - 1);
    w.Text(name, 31);
    w.U16(0x0018); // depth
    w.U16(0xFFFF);
    size_t avcC = w.BeginBox("avcC");
    w.Bytes(avcConfig);
    w.EndBox(avcC);
    w.EndBox(entry);
    return std::move(w.bytes());
}

namespace {
void Descriptor(ByteWriter& w, uint8_t tag, const std::vector<uint8_t>& body) {
    w.U8(tag);
    // Four-byte length form, as common muxers write it.
    const uint32_t n = static_cast<uint32_t>(body.size());
    w.U8(static_cast<uint8_t>(0x80 | ((n >> 21) & 0x7F)));
    w.U8(static_cast<uint8_t>(0x80 | ((n >> 14) & 0x7F)));
    w.U8(static_cast<uint8_t>(0x80 | ((n >> 7) & 0x7F)));
    w.U8(static_cast<uint8_t>(n & 0x7F));
    w.Bytes(body);
}
} // namespace

std::vector<uint8_t> Mp4aSampleEntry(uint16_t channels, uint32_t sampleRate,
                                     const std::vector<uint8_t>& audioSpecificConfig,
                                     uint32_t avgBitrate, uint32_t maxBitrate,
                                     uint32_t bufferSize) {
    ByteWriter decoderSpecific;
    decoderSpecific.Bytes(audioSpecificConfig);
    ByteWriter decoderConfig;
    decoderConfig.U8(0x40);            // MPEG-4 audio
    decoderConfig.U8((0x05 << 2) | 1); // audio stream
    decoderConfig.U24(bufferSize);
    decoderConfig.U32(maxBitrate);
    decoderConfig.U32(avgBitrate);
    Descriptor(decoderConfig, 0x05, decoderSpecific.bytes());
    ByteWriter es;
    es.U16(0); // ES ID
    es.U8(0);  // flags
    Descriptor(es, 0x04, decoderConfig.bytes());
    Descriptor(es, 0x06, std::vector<uint8_t>{0x02}); // SL config: predefined MP4

    ByteWriter w;
    size_t entry = w.BeginBox("mp4a");
    w.Zeros(6);
    w.U16(1);
    w.Zeros(8);
    w.U16(channels);
    w.U16(16); // sample size
    w.U16(0);
    w.U16(0);
    w.U32(sampleRate << 16);
    size_t esds = w.BeginFullBox("esds", 0, 0);
    Descriptor(w, 0x03, es.bytes());
    w.EndBox(esds);
    w.EndBox(entry);
    return std::move(w.bytes());
}

} // namespace mkcard
