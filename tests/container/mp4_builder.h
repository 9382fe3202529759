#pragma once
// Builds small MP4 recordings and GPS blocks byte by byte for the container
// tests, in the recorder's layout (ftyp, mdat, moov, then the GPS data).

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace testmp4 {

using Bytes = std::vector<uint8_t>;

inline Bytes BE32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
inline Bytes BE16(uint16_t v) {
    return {uint8_t(v >> 8), uint8_t(v)};
}
inline Bytes Text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}
inline Bytes Zeros(size_t n) {
    return Bytes(n, 0);
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline void Append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

inline Bytes Box(std::string_view type, const Bytes& payload = {}) {
    Bytes out = BE32(uint32_t(8 + payload.size()));
    for (size_t i = 0; i < 4; ++i)
        out.push_back(i < type.size() ? uint8_t(type[i]) : uint8_t(' '));
    Append(out, payload);
    return out;
}
inline Bytes FullBox(std::string_view type, const Bytes& body, uint32_t versionFlags = 0) {
    return Box(type, Cat({BE32(versionFlags), body}));
}

// A table box of count entries of the given 32-bit words.
inline Bytes Table(std::string_view type, const std::vector<std::vector<uint32_t>>& entries) {
    Bytes body = BE32(uint32_t(entries.size()));
    for (const auto& e : entries)
        for (uint32_t w : e)
            Append(body, BE32(w));
    return FullBox(type, body);
}

struct TrackLayout {
    uint32_t samples = 4;
    uint32_t delta = 66666; // µs per sample (time scale 1,000,000)
    uint32_t width = 640;
    std::vector<uint32_t> chunkOffsets; // one chunk per sample when empty: filled by Movie
    bool stss = true;
    bool elst = false;
    std::vector<std::vector<uint32_t>> stts; // overrides (samples, delta) when not empty
};

inline Bytes Tkhd(uint32_t duration, uint32_t width) {
    // version 0: ctime, mtime, id, reserved, duration, 8 reserved, layer,
    // group, volume, reserved, 36-byte matrix, width, height (16.16).
    return FullBox("tkhd", Cat({Zeros(12), BE32(0), BE32(duration), Zeros(52), BE32(width << 16),
                                BE32(360u << 16)}));
}

inline Bytes Trak(const TrackLayout& t) {
    std::vector<std::vector<uint32_t>> stco;
    for (uint32_t o : t.chunkOffsets)
        stco.push_back({o});
    Bytes stsz = FullBox("stsz", Cat({BE32(0), BE32(t.samples)}));
    for (uint32_t i = 0; i < t.samples; ++i)
        Append(stsz, BE32(4));
    // fix the stsz size field after appending the sizes
    const uint32_t stszSize = uint32_t(stsz.size());
    std::memcpy(stsz.data(), BE32(stszSize).data(), 4);
    const auto stts =
        t.stts.empty() ? std::vector<std::vector<uint32_t>>{{t.samples, t.delta}} : t.stts;
    Bytes stbl = Cat({FullBox("stsd", Cat({BE32(1), Box("avc1", Zeros(8))})), Table("stts", stts)});
    if (t.stss) Append(stbl, Table("stss", {{1}}));
    Append(stbl, Table("stsc", {{1, 1, 1}}));
    Append(stbl, stsz);
    Append(stbl, Table("stco", stco));
    const uint32_t duration = uint32_t(uint64_t(t.samples) * t.delta / 1000);
    Bytes mdhd =
        FullBox("mdhd", Cat({Zeros(8), BE32(1000000), BE32(t.samples * t.delta), Zeros(4)}));
    Bytes trak = Tkhd(duration, t.width);
    if (t.elst) Append(trak, Box("edts", Table("elst", {{duration, 0, 0x10000}})));
    Append(trak, Box("mdia", Cat({mdhd, FullBox("hdlr", Cat({Zeros(4), Text("vide"), Zeros(13)})),
                                  Box("minf", Box("stbl", stbl))})));
    return Box("trak", trak);
}

inline Bytes Ftyp() {
    return Box("ftyp", Cat({Text("isom"), BE32(0x200), Text("isomavc1")}));
}
inline Bytes Mvhd(uint32_t duration) {
    return FullBox("mvhd", Cat({Zeros(8), BE32(1000), BE32(duration), Zeros(80)}));
}

// ftyp (24 bytes), mdat, moov. Each sample is 4 bytes of media; track t's
// samples follow track t-1's in the mdat, and every chunk holds one sample.
// The media bytes are (sample index + 16 × track) so moved chunks can be found.
inline Bytes Movie(std::vector<TrackLayout> tracks, Bytes extraMoov = {}) {
    Bytes media;
    uint32_t offset = 24 + 8;
    for (size_t t = 0; t < tracks.size(); ++t) {
        if (tracks[t].chunkOffsets.empty())
            for (uint32_t i = 0; i < tracks[t].samples; ++i) {
                tracks[t].chunkOffsets.push_back(offset + uint32_t(media.size()));
                Append(media, {uint8_t(t * 16 + (i & 15)), uint8_t(i >> 8), uint8_t(i), 0xEE});
            }
    }
    Bytes moov = Mvhd(tracks.empty() ? 0 : tracks[0].samples * tracks[0].delta / 1000);
    for (const auto& t : tracks)
        Append(moov, Trak(t));
    Append(moov, extraMoov);
    return Cat({Ftyp(), Box("mdat", media), Box("moov", moov)});
}

// Three tracks as a combined recording: front video, rear video, audio.
inline std::vector<TrackLayout> ThreeTracks(uint32_t samples = 4) {
    TrackLayout front{samples, 33333, 1920, {}, true, true, {}};
    TrackLayout rear{samples, 33333, 1280, {}, true, true, {}};
    TrackLayout audio{samples, 21333, 0, {}, false, true, {}};
    return {front, rear, audio};
}

// The four media bytes the builder writes for sample i of track t.
inline Bytes SampleBytes(uint32_t t, uint32_t i, uint8_t mark = 0xEE) {
    return {uint8_t(t * 16 + (i & 15)), uint8_t(i >> 8), uint8_t(i), mark};
}

// A combined recording in the recorder's layout: one 4-byte sample per chunk,
// chunks of front, rear and sound interleaved through the mdat.
inline Bytes Combined(std::vector<uint32_t> samples, const Bytes& after = {}) {
    std::vector<TrackLayout> tracks = ThreeTracks();
    tracks.resize(samples.size());
    Bytes media;
    const uint32_t most = *std::max_element(samples.begin(), samples.end());
    for (uint32_t i = 0; i < most; ++i)
        for (uint32_t t = 0; t < tracks.size(); ++t) {
            tracks[t].samples = samples[t];
            if (i >= samples[t]) continue;
            tracks[t].chunkOffsets.push_back(32 + uint32_t(media.size()));
            Append(media, SampleBytes(t, i));
        }
    Bytes moov = Mvhd(samples[0] * tracks[0].delta / 1000);
    for (const auto& t : tracks)
        Append(moov, Trak(t));
    return Cat({Ftyp(), Box("mdat", media), Box("moov", moov), after});
}

// Offset of the n-th (from 0) occurrence of a box type in a file.
inline size_t FindType(const Bytes& file, std::string_view type, int n = 0) {
    for (size_t i = 4; i + 4 <= file.size(); ++i)
        if (std::memcmp(&file[i], type.data(), 4) == 0 && n-- == 0) return i;
    return 0;
}

// Sets entry k of the n-th stco table (in file order) of a built file.
inline void StoreStco(Bytes& file, int n, uint32_t k, uint32_t offset) {
    const size_t at = FindType(file, "stco", n) + 12 + 4 * size_t(k);
    const Bytes v = BE32(offset);
    std::copy(v.begin(), v.end(), file.begin() + long(at));
}

// ---- GPS records ----------------------------------------------------------

inline void Put(Bytes& r, size_t at, std::string_view text) {
    std::memcpy(r.data() + at, text.data(), text.size());
}

// A TX40 family record: 79 bytes of blanks with the given fields.
struct Rec40 {
    char status = 'A';
    std::string lat = "3540.1234";
    uint8_t latSign = 'N';
    std::string lon = "13945.6789";
    uint8_t lonSign = 'E';
    std::string speed = "  42";
    std::string dateTime = "250101000000";
    std::string add = "*  ";
    std::string a1 = " 1000", a2 = " -250", a3 = "   10";
    char byte72 = 'N', axis = 'X', byte74 = 'N';
    uint8_t extra = 'F';

    Bytes Build() const {
        Bytes r(79, ' ');
        r[5] = uint8_t(status);
        Put(r, 6, lat);
        r[15] = latSign;
        Put(r, 16, lon);
        r[26] = lonSign;
        Put(r, 27, speed);
        Put(r, 31, dateTime);
        Put(r, 44, add);
        Put(r, 57, a1);
        Put(r, 62, a2);
        Put(r, 67, a3);
        r[72] = uint8_t(byte72);
        r[73] = uint8_t(axis);
        r[74] = uint8_t(byte74);
        r[78] = extra;
        return r;
    }
};

// A TX50 family record: 91 bytes.
struct Rec50 {
    char status = 'A';
    std::string lat = "3540.1234";
    uint8_t latSign = 'N';
    std::string lon = "13945.6789";
    uint8_t lonSign = 'E';
    std::string speed = "  42";
    std::string dateTime = "250101000000";
    std::string add = "*  ";
    uint8_t nibbles = 0x00;
    std::string a1 = " 1000", a2 = " -250", a3 = "   10";
    char byte78 = 'N', axis = 'X', letter = 'N', byte81 = 'N', byte82 = 'N', byte83 = 'N';
    uint8_t extra = 'R';
    std::string number = "   ";

    Bytes Build() const {
        Bytes r(91, ' ');
        r[8] = uint8_t(status);
        Put(r, 9, lat);
        r[18] = latSign;
        Put(r, 19, lon);
        r[29] = lonSign;
        Put(r, 30, speed);
        Put(r, 34, dateTime);
        Put(r, 47, add);
        r[50] = nibbles;
        Put(r, 63, a1);
        Put(r, 68, a2);
        Put(r, 73, a3);
        r[78] = uint8_t(byte78);
        r[79] = uint8_t(axis);
        r[80] = uint8_t(letter);
        r[81] = uint8_t(byte81);
        r[82] = uint8_t(byte82);
        r[83] = uint8_t(byte83);
        r[87] = extra;
        Put(r, 88, number);
        return r;
    }
};

struct Header40 {
    std::string id = "ID0001";
    std::string level1 = " 500", level2 = "1000", level3 = "2500";
    char letter = 'N';
    Bytes Build(uint16_t count) const {
        Bytes h(34, ' ');
        Put(h, 0, "CSODAT");
        Put(h, 6, id);
        Put(h, 12, level1);
        Put(h, 16, level2);
        Put(h, 20, level3);
        h[24] = uint8_t(letter);
        h[32] = uint8_t(count >> 8);
        h[33] = uint8_t(count);
        return h;
    }
};

struct Header50 {
    std::string id = "ID0050";
    std::string level1 = " 300", level2 = " 600", level3 = " 900";
    char letter = 'J';
    uint8_t flagA = 1, flagB = 1;
    Bytes Build(uint16_t count) const {
        Bytes h(43, ' ');
        Put(h, 0, "CSODAT");
        Put(h, 6, id);
        Put(h, 14, level1);
        Put(h, 18, level2);
        Put(h, 22, level3);
        h[33] = uint8_t(letter);
        h[36] = flagA;
        h[37] = flagB;
        h[41] = uint8_t(count >> 8);
        h[42] = uint8_t(count);
        return h;
    }
};

inline Bytes Block(const Bytes& header, const std::vector<Bytes>& records) {
    Bytes b = header;
    for (const Bytes& r : records)
        Append(b, r);
    Append(b, Text("CSOEND"));
    return b;
}

// The TX40 family's GPS box: header n × 79 + 48, "gps0", the block.
inline Bytes Gps0Box(const Bytes& block) {
    return Cat({BE32(uint32_t(block.size() + 8)), Text("gps0"), block});
}

// A per-test folder for files, removed with the object.
class TempDir {
public:
    // base "/dev/shm" keeps tests that write many small files off the disk.
    explicit TempDir(const std::string& base = "/tmp") {
        std::string tmpl = (std::filesystem::is_directory(base) ? base : std::string("/tmp")) +
                           "/kinetta-container-test.XXXXXX";
        const char* d = mkdtemp(tmpl.data());
        path_ = d ? d : "/tmp";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string p = File(name);
        FILE* f = std::fopen(p.c_str(), "wb");
        if (f) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return p;
    }

private:
    std::string path_;
};

inline Bytes ReadAll(const std::string& path) {
    Bytes out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

} // namespace testmp4
