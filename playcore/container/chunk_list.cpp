#include "playcore/container/chunk_list.h"

#include <utility>

#include "playcore/container/sample_tables.h"

namespace playcore {

namespace {

bool Fail(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return false;
}

} // namespace

bool ExpandChunks(const TrackBoxes& t, int label, const sTAGNODE& mdat,
                  std::vector<ChunkRecord>* out, std::string* why) {
    const std::string what = label == 0 ? "video track: " : "audio track: ";
    TableView co, sc;
    if (!ReadTable(*t.stco, 1, &co)) return Fail(why, what + "malformed stco");
    if (!ReadTable(*t.stsc, 3, &sc)) return Fail(why, what + "malformed stsc");
    uint32_t constant = 0, samples = 0;
    if (!PayloadBE32(*t.stsz, 4, &constant) || !PayloadBE32(*t.stsz, 8, &samples) ||
        (constant == 0 && uint64_t(samples) * 4 > t.stsz->data.size() - 12))
        return Fail(why, what + "malformed stsz");
    if (samples > kMaxSplitSamples || co.count > kMaxSplitChunks)
        return Fail(why, what + "too many samples or chunks");
    if (co.count > 0 && (sc.count == 0 || LoadBE32(sc.entries) != 1))
        return Fail(why, what + "the stsc does not start at chunk 1");
    const uint8_t* sizes = t.stsz->data.data() + 12;
    const uint64_t mdatStart = mdat.origOffset, mdatEnd = mdat.origOffset + mdat.origSize;

    const size_t first = out->size();
    uint64_t sample = 0;
    uint32_t entry = 0;
    for (uint32_t c = 0; c < co.count; ++c) {
        // The entry that covers chunk c + 1: the last whose first chunk is not after it.
        while (entry + 1 < sc.count && LoadBE32(sc.entries + (entry + 1) * 12) <= c + 1) {
            if (LoadBE32(sc.entries + (entry + 1) * 12) <= LoadBE32(sc.entries + entry * 12))
                return Fail(why, what + "the stsc chunk numbers do not rise");
            ++entry;
        }
        const uint32_t perChunk = LoadBE32(sc.entries + entry * 12 + 4);
        if (perChunk > samples - sample)
            return Fail(why, what + "the chunks hold more samples than the stsz lists");
        ChunkRecord r;
        r.track = label;
        r.index = c;
        r.sourceOffset = LoadBE32(co.entries + size_t(c) * 4);
        r.sampleCount = perChunk;
        r.sizes.reserve(perChunk);
        for (uint32_t k = 0; k < perChunk; ++k, ++sample) {
            const uint32_t size = constant ? constant : LoadBE32(sizes + sample * 4);
            r.sizes.push_back(size);
            r.written += size;
        }
        // Inside the media data: the start not before it and not past its end
        // (tested first, so that the length test cannot wrap round).
        if (r.sourceOffset < mdatStart || r.sourceOffset > mdatEnd ||
            r.written > mdatEnd - r.sourceOffset)
            return Fail(why, what + "a chunk lies outside the media data");
        out->push_back(std::move(r));
    }
    if (sample != samples) return Fail(why, what + "the chunks do not hold every sample");
    // Distance to the track's next chunk; the last one reaches to the end of
    // the media data (so does a chunk whose successor lies before it).
    for (size_t k = first; k < out->size(); ++k) {
        const uint64_t from = (*out)[k].sourceOffset;
        const uint64_t next = k + 1 < out->size() ? (*out)[k + 1].sourceOffset : mdatEnd;
        (*out)[k].sourceLength = (next >= from ? next : mdatEnd) - from;
    }
    return true;
}

} // namespace playcore
