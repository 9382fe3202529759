#include "playcore/container/chunk_list.h"

#include <utility>

#include "playcore/container/boxes/stco_box.h"
#include "playcore/container/boxes/stsc_box.h"
#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/failure.h"

namespace playcore {

bool ExpandChunks(const TrackBoxes& t, int label, const sTAGNODE& mdat,
                  std::vector<ChunkRecord>* out, std::string* why) {
    const std::string what = label == 0 ? "video track: " : "audio track: ";
    StcoBox co;
    StscBox sc;
    StszBox sz;
    if (!co.Read(*t.stco)) return Fail(why, what + "malformed stco");
    if (!sc.Read(*t.stsc)) return Fail(why, what + "malformed stsc");
    if (!sz.Read(*t.stsz)) return Fail(why, what + "malformed stsz");
    const uint32_t samples = sz.SampleCount();
    if (samples > kMaxSplitSamples || co.Count() > kMaxSplitChunks)
        return Fail(why, what + "too many samples or chunks");
    if (co.Count() > 0 && (sc.Count() == 0 || sc.FirstChunk(0) != 1))
        return Fail(why, what + "the stsc does not start at chunk 1");
    const uint64_t mdatStart = mdat.origOffset, mdatEnd = mdat.origOffset + mdat.origSize;

    const size_t first = out->size();
    uint64_t sample = 0;
    uint32_t entry = 0;
    for (uint32_t c = 0; c < co.Count(); ++c) {
        // The entry that covers chunk c + 1: the last whose first chunk is not after it.
        while (entry + 1 < sc.Count() && sc.FirstChunk(entry + 1) <= c + 1) {
            if (sc.FirstChunk(entry + 1) <= sc.FirstChunk(entry))
                return Fail(why, what + "the stsc chunk numbers do not rise");
            ++entry;
        }
        const uint32_t perChunk = sc.SamplesPerChunk(entry);
        if (perChunk > samples - sample)
            return Fail(why, what + "the chunks hold more samples than the stsz lists");
        ChunkRecord r;
        r.track = label;
        r.index = c;
        r.sourceOffset = co.ChunkOffset(c);
        r.sampleCount = perChunk;
        r.firstSample = static_cast<uint32_t>(sample);
        r.description = sc.DescriptionIndex(entry);
        r.sizes.reserve(perChunk);
        for (uint32_t k = 0; k < perChunk; ++k, ++sample) {
            const uint32_t size = sz.SampleSize(static_cast<uint32_t>(sample));
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
