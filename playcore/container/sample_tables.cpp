#include "playcore/container/sample_tables.h"

namespace playcore {

bool ReadTable(const sTAGNODE& node, uint32_t strideWords, TableView* out) {
    const uint64_t have = node.data.size();
    if (have < 8 || strideWords == 0) return false;
    const uint32_t count = LoadBE32(node.data.data() + 4);
    if (uint64_t(count) * strideWords * 4 > have - 8) return false;
    out->count = count;
    out->entries = node.data.data() + 8;
    return true;
}

bool AddToEntries(sTAGNODE& node, uint32_t value, uint32_t stride) {
    TableView table;
    if (!ReadTable(node, stride, &table)) return false;
    if (table.count == 0 || (table.count & 0x80000000u)) return false;
    uint8_t* p = node.data.data() + 8;
    for (uint32_t i = 0; i < table.count; ++i, p += size_t(stride) * 4)
        StoreBE32(p, LoadBE32(p) + value);
    return true;
}

bool AddBE32At(sTAGNODE& target, const sTAGNODE& source, size_t payloadOffset) {
    uint32_t a = 0, b = 0;
    if (!PayloadBE32(target, payloadOffset, &a) || !PayloadBE32(source, payloadOffset, &b))
        return false;
    StoreBE32(target.data.data() + payloadOffset, a + b);
    return true;
}

bool SumStts(const sTAGNODE& stts, SttsSums* out) {
    TableView table;
    if (!ReadTable(stts, 2, &table)) return false;
    SttsSums s;
    s.entries = table.count;
    for (uint32_t i = 0; i < table.count; ++i) {
        const uint32_t count = LoadBE32(table.entries + i * 8);
        const uint32_t delta = LoadBE32(table.entries + i * 8 + 4);
        s.count32 += count;
        s.total32 += count * delta;
        s.count += count;
        s.total += uint64_t(count) * delta;
    }
    *out = s;
    return true;
}

bool StszSampleCount(const sTAGNODE& stsz, uint32_t* count) {
    return PayloadBE32(stsz, 8, count);
}

bool CheckedSampleCount(const sMP4MOVIE& movie, const sTAGNODE& stsz, uint32_t* count) {
    uint32_t constant = 0, n = 0;
    if (!PayloadBE32(stsz, 4, &constant) || !PayloadBE32(stsz, 8, &n)) return false;
    if (constant == 0) {
        if (uint64_t(n) * 4 > stsz.data.size() - 12) return false;
    } else {
        uint64_t media = 0;
        for (const sTAGNODE* mdat : movie.List(kMdatList))
            media += mdat->size;
        if (uint64_t(n) * constant > media) return false;
    }
    *count = n;
    return true;
}

} // namespace playcore
