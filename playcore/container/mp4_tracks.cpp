#include "playcore/container/mp4_tracks.h"

#include "playcore/container/boxes/elst_box.h"
#include "playcore/container/boxes/mdhd_box.h"
#include "playcore/container/boxes/mvhd_box.h"
#include "playcore/container/boxes/tkhd_box.h"
#include "playcore/container/failure.h"

namespace playcore {

namespace {

// The first node of the given type at or below node, pre-order.
sTAGNODE* FindFirst(sTAGNODE& node, std::string_view type) {
    if (node.Is(type)) return &node;
    for (auto& child : node.children)
        if (sTAGNODE* found = FindFirst(*child, type)) return found;
    return nullptr;
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

namespace {

template <typename Box, typename Field>
bool FieldOf(const sTAGNODE& node, Field field, FieldAt* out) {
    Box box;
    if (!box.Read(node)) return false;
    *out = (box.*field)();
    return true;
}

} // namespace

bool DurationField(const sTAGNODE& box, FieldAt* out) {
    if (box.Is("mvhd")) return FieldOf<MvhdBox>(box, &MvhdBox::DurationField, out);
    if (box.Is("mdhd")) return FieldOf<MdhdBox>(box, &MdhdBox::DurationField, out);
    if (box.Is("tkhd")) return FieldOf<TkhdBox>(box, &TkhdBox::DurationField, out);
    if (box.Is("elst")) return FieldOf<ElstBox>(box, &ElstBox::FirstDurationField, out);
    return false;
}

bool TimeScaleField(const sTAGNODE& box, FieldAt* out) {
    if (box.Is("mvhd")) return FieldOf<MvhdBox>(box, &MvhdBox::TimeScaleField, out);
    if (box.Is("mdhd")) return FieldOf<MdhdBox>(box, &MdhdBox::TimeScaleField, out);
    return false;
}

} // namespace playcore
