#pragma once
// A small MP4 reader for the tests, written apart from mkcard's writer: it
// walks boxes by their 32-bit sizes, knows which types hold other boxes, and
// reads the fields the recorder's layout fixes. Every read is bounds-checked;
// a malformed file makes the calling test fail, never read outside the buffer.

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace mkcard_test {

inline uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) throw std::out_of_range("read past the end");
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}
inline uint16_t Be16(const std::vector<uint8_t>& b, size_t at) {
    if (at + 2 > b.size()) throw std::out_of_range("read past the end");
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
inline std::string Text(const std::vector<uint8_t>& b, size_t at, size_t n) {
    if (at + n > b.size()) throw std::out_of_range("read past the end");
    return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

struct Box {
    std::string type;
    size_t offset = 0; // of the header
    size_t size = 0;   // header included
    std::vector<Box> children;
    size_t Payload() const { return offset + 8; }
    size_t PayloadSize() const { return size - 8; }

    std::vector<std::string> ChildTypes() const {
        std::vector<std::string> out;
        for (const Box& c : children)
            out.push_back(c.type);
        return out;
    }
    // The first child of that type; throws when there is none.
    const Box& Child(const std::string& t) const {
        for (const Box& c : children)
            if (c.type == t) return c;
        throw std::runtime_error("no " + t + " in " + type);
    }
    std::vector<const Box*> All(const std::string& t) const {
        std::vector<const Box*> out;
        for (const Box& c : children)
            if (c.type == t) out.push_back(&c);
        return out;
    }
};

inline bool IsContainer(const std::string& type) {
    static const std::set<std::string> kContainers = {"moov", "trak", "edts", "mdia",
                                                      "minf", "dinf", "stbl", "udta"};
    return kContainers.count(type) > 0;
}

// Boxes between begin and end; stops at bytes that are not a box of a known
// size (the raw GPS block after the last box of a TX50 file).
inline std::vector<Box> ParseBoxes(const std::vector<uint8_t>& b, size_t begin, size_t end,
                                   size_t* stoppedAt = nullptr) {
    std::vector<Box> out;
    size_t at = begin;
    while (at + 8 <= end) {
        const uint32_t size = Be32(b, at);
        const std::string type = Text(b, at + 4, 4);
        bool printable = true;
        for (char c : type)
            printable = printable && c >= 0x20 && c < 0x7F;
        if (size < 8 || at + size > end || !printable) break;
        Box box{type, at, size, {}};
        if (IsContainer(type)) box.children = ParseBoxes(b, at + 8, at + size);
        out.push_back(std::move(box));
        at += size;
    }
    if (stoppedAt) *stoppedAt = at;
    return out;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

// Sample tables of one track as stored.
struct TrackTables {
    std::string handler;
    uint32_t timescale = 0, mediaDuration = 0, tkhdDuration = 0, trackId = 0;
    uint32_t width = 0, height = 0; // integer part of the 16.16 fields
    int32_t editMediaTime = 0;
    uint32_t editDuration = 0;
    std::vector<std::pair<uint32_t, uint32_t>> stts; // count, delta
    std::vector<uint32_t> stss;                      // empty when absent
    bool hasStss = false;
    std::vector<uint32_t> sizes;               // stsz
    std::vector<std::array<uint32_t, 3>> stsc; // first chunk, samples, description
    std::vector<uint32_t> stco;
    std::string sampleEntry; // type of the first stsd entry
};

inline TrackTables ReadTrack(const std::vector<uint8_t>& b, const Box& trak) {
    TrackTables t;
    const Box& tkhd = trak.Child("tkhd");
    t.trackId = Be32(b, tkhd.Payload() + 12);
    t.tkhdDuration = Be32(b, tkhd.Payload() + 20);
    t.width = Be32(b, tkhd.Payload() + 76) >> 16;
    t.height = Be32(b, tkhd.Payload() + 80) >> 16;
    const Box& elst = trak.Child("edts").Child("elst");
    if (Be32(b, elst.Payload() + 4) >= 1) {
        t.editDuration = Be32(b, elst.Payload() + 8);
        t.editMediaTime = static_cast<int32_t>(Be32(b, elst.Payload() + 12));
    }
    const Box& mdia = trak.Child("mdia");
    const Box& mdhd = mdia.Child("mdhd");
    t.timescale = Be32(b, mdhd.Payload() + 12);
    t.mediaDuration = Be32(b, mdhd.Payload() + 16);
    t.handler = Text(b, mdia.Child("hdlr").Payload() + 8, 4);
    const Box& stbl = mdia.Child("minf").Child("stbl");
    const Box& stsd = stbl.Child("stsd");
    t.sampleEntry = Text(b, stsd.Payload() + 12, 4);
    const Box& stts = stbl.Child("stts");
    for (uint32_t i = 0, n = Be32(b, stts.Payload() + 4); i < n; ++i)
        t.stts.push_back(
            {Be32(b, stts.Payload() + 8 + 8 * i), Be32(b, stts.Payload() + 12 + 8 * i)});
    for (const Box& c : stbl.children)
        if (c.type == "stss") {
            t.hasStss = true;
            for (uint32_t i = 0, n = Be32(b, c.Payload() + 4); i < n; ++i)
                t.stss.push_back(Be32(b, c.Payload() + 8 + 4 * i));
        }
    const Box& stsz = stbl.Child("stsz");
    const uint32_t constant = Be32(b, stsz.Payload() + 4), count = Be32(b, stsz.Payload() + 8);
    for (uint32_t i = 0; i < count; ++i)
        t.sizes.push_back(constant ? constant : Be32(b, stsz.Payload() + 12 + 4 * i));
    const Box& stsc = stbl.Child("stsc");
    for (uint32_t i = 0, n = Be32(b, stsc.Payload() + 4); i < n; ++i)
        t.stsc.push_back({Be32(b, stsc.Payload() + 8 + 12 * i),
                          Be32(b, stsc.Payload() + 12 + 12 * i),
                          Be32(b, stsc.Payload() + 16 + 12 * i)});
    const Box& stco = stbl.Child("stco");
    for (uint32_t i = 0, n = Be32(b, stco.Payload() + 4); i < n; ++i)
        t.stco.push_back(Be32(b, stco.Payload() + 8 + 4 * i));
    return t;
}

} // namespace mkcard_test
