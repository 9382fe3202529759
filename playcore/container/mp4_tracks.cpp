#include "playcore/container/mp4_tracks.h"

namespace playcore {

namespace {

bool Fail(std::string* why, const char* text) {
    if (why) *why = text;
    return false;
}

// The first node of the given type at or below node, pre-order.
sTAGNODE* FindFirst(sTAGNODE& node, std::string_view type) {
    if (node.Is(type)) return &node;
    for (auto& child : node.children)
        if (sTAGNODE* found = FindFirst(*child, type)) return found;
    return nullptr;
}

int Version(const sTAGNODE& box) {
    return box.data.empty() ? -1 : box.data[0];
}

// A field that must lie wholly inside the copied payload.
bool Fits(const sTAGNODE& box, FieldAt at) {
    return at.offset <= box.data.size() && box.data.size() - at.offset >= at.bytes;
}

bool Pick(const sTAGNODE& box, FieldAt v0, FieldAt v1, FieldAt* out) {
    const int version = Version(box);
    if (version != 0 && version != 1) return false;
    const FieldAt at = version == 0 ? v0 : v1;
    if (!Fits(box, at)) return false;
    *out = at;
    return true;
}

} // namespace

bool ReadMovieLayout(sMP4MOVIE& movie, MovieLayout* out, std::string* why) {
    *out = MovieLayout{};
    int mdats = 0, moovs = 0;
    for (size_t i = 0; i < movie.root.children.size(); ++i) {
        sTAGNODE& child = *movie.root.children[i];
        if (child.Is("mdat")) {
            ++mdats;
            out->mdat = &child;
            out->mdatIndex = i;
        } else if (child.Is("moov")) {
            ++moovs;
            out->moov = &child;
            out->moovIndex = i;
        }
    }
    if (mdats != 1) return Fail(why, "the movie does not have exactly one top-level mdat box");
    if (moovs != 1) return Fail(why, "the movie does not have exactly one top-level moov box");
    if (out->moov->leaf) return Fail(why, "the moov box holds no boxes");
    for (auto& child : out->moov->children) {
        if (child->Is("mvhd") && !out->mvhd) out->mvhd = child.get();
        if (!child->Is("trak")) continue;
        TrackBoxes t;
        t.trak = child.get();
        if (FindFirst(*child, "co64")) return Fail(why, "a track has 64-bit chunk offsets (co64)");
        for (auto& c : child->children)
            if (c->Is("tkhd")) {
                t.tkhd = c.get();
                break;
            }
        t.elst = FindFirst(*child, "elst");
        t.mdhd = FindFirst(*child, "mdhd");
        t.stts = FindFirst(*child, "stts");
        t.stss = FindFirst(*child, "stss");
        t.stsc = FindFirst(*child, "stsc");
        t.stsz = FindFirst(*child, "stsz");
        t.stco = FindFirst(*child, "stco");
        if (!t.tkhd || !t.mdhd || !t.stts || !t.stsc || !t.stsz || !t.stco)
            return Fail(why, "a track lacks one of tkhd, mdhd, stts, stsc, stsz, stco");
        out->tracks.push_back(t);
    }
    if (!out->mvhd) return Fail(why, "the moov box has no mvhd");
    return true;
}

bool DurationField(const sTAGNODE& box, FieldAt* out) {
    if (box.Is("mvhd") || box.Is("mdhd")) return Pick(box, {16, 4}, {24, 8}, out);
    if (box.Is("tkhd")) return Pick(box, {20, 4}, {28, 8}, out);
    if (box.Is("elst")) {
        uint32_t entries = 0;
        if (!PayloadBE32(box, 4, &entries) || entries == 0) return false;
        return Pick(box, {8, 4}, {8, 8}, out);
    }
    return false;
}

bool TimeScaleField(const sTAGNODE& box, FieldAt* out) {
    return (box.Is("mvhd") || box.Is("mdhd")) && Pick(box, {12, 4}, {20, 4}, out);
}

bool TrackIdField(const sTAGNODE& tkhd, FieldAt* out) {
    return tkhd.Is("tkhd") && Pick(tkhd, {12, 4}, {20, 4}, out);
}

bool NextTrackIdField(const sTAGNODE& mvhd, FieldAt* out) {
    return mvhd.Is("mvhd") && Pick(mvhd, {96, 4}, {108, 4}, out);
}

uint64_t LoadField(const std::vector<uint8_t>& payload, FieldAt at) {
    uint64_t v = 0;
    for (size_t i = 0; i < at.bytes; ++i)
        v = (v << 8) | payload[at.offset + i];
    return v;
}

void StoreField(std::vector<uint8_t>& payload, FieldAt at, uint64_t value) {
    for (size_t i = at.bytes; i-- > 0;) {
        payload[at.offset + i] = uint8_t(value);
        value >>= 8;
    }
}

} // namespace playcore
