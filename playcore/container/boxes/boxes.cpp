#include <algorithm>

#include "playcore/container/boxes/elst_box.h"
#include "playcore/container/boxes/full_box.h"
#include "playcore/container/boxes/mdhd_box.h"
#include "playcore/container/boxes/stsz_box.h"

namespace playcore {

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

bool FullBox::Read(const sTAGNODE& node, std::string_view type, size_t minimum0, size_t minimum1) {
    payload_ = nullptr;
    version_ = -1;
    if (node.Type() != type || node.data.size() < 4) return false;
    const int version = node.data[0];
    if ((version != 0 && version != 1) || node.data.size() < (version == 0 ? minimum0 : minimum1))
        return false;
    payload_ = &node.data;
    version_ = version;
    return true;
}

std::vector<uint8_t> MdhdBox::Version1Payload(uint64_t duration) const {
    const std::vector<uint8_t>& p = Payload();
    if (Version() == 1) {
        std::vector<uint8_t> out = p;
        StoreField(out, DurationField(), duration);
        return out;
    }
    // Version 0: flags, creation, modification, time scale, duration, rest.
    std::vector<uint8_t> out(p.size() + 12, 0);
    out[0] = 1;
    std::copy(p.begin() + 1, p.begin() + 4, out.begin() + 1);
    StoreField(out, {4, 8}, LoadField(p, {4, 4}));
    StoreField(out, {12, 8}, LoadField(p, {8, 4}));
    StoreField(out, {20, 4}, LoadField(p, TimeScaleField()));
    StoreField(out, {24, 8}, duration);
    std::copy(p.begin() + 20, p.end(), out.begin() + 32);
    return out;
}

bool ElstBox::Read(const sTAGNODE& node) {
    // Version/flags, entry count, then the first edit's segment duration.
    if (!FullBox::Read(node, "elst", 12, 16)) return false;
    return LoadBE32(node.data.data() + 4) != 0;
}

bool StszBox::Read(const sTAGNODE& node) {
    table_ = nullptr;
    constant_ = count_ = 0;
    if (node.Type() != "stsz" || node.data.size() < 12) return false;
    const uint32_t constant = LoadBE32(node.data.data() + 4);
    const uint32_t count = LoadBE32(node.data.data() + 8);
    if (constant == 0 && uint64_t(count) * 4 > node.data.size() - 12) return false;
    constant_ = constant;
    count_ = count;
    table_ = constant == 0 ? node.data.data() + 12 : nullptr;
    return true;
}

uint64_t StszBox::TotalBytes() const {
    if (!table_) return uint64_t(constant_) * count_;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count_; ++i)
        total += SampleSize(i);
    return total;
}

bool CheckedSampleCount(const sMP4MOVIE& movie, const sTAGNODE& stsz, uint32_t* count) {
    StszBox box;
    if (!box.Read(stsz)) return false;
    if (!box.HasTable()) {
        uint64_t media = 0;
        for (const sTAGNODE* mdat : movie.List(kMdatList))
            media += mdat->size;
        if (box.TotalBytes() > media) return false;
    }
    *count = box.SampleCount();
    return true;
}

} // namespace playcore
