#include "playcore/container/sample_tables.h"

#include "playcore/container/boxes/full_box.h"

namespace playcore {

namespace {

template <uint32_t Words> bool AddToFirstWords(sTAGNODE& node, uint32_t value) {
    TableBox<Words> table;
    if (!table.Read(node, node.Type())) return false;
    if (table.Count() == 0 || (table.Count() & 0x80000000u)) return false;
    uint8_t* p = node.data.data() + 8;
    for (uint32_t i = 0; i < table.Count(); ++i, p += size_t(Words) * 4)
        StoreBE32(p, table.Word(i, 0) + value);
    return true;
}

} // namespace

bool AddToEntries(sTAGNODE& node, uint32_t value, uint32_t stride) {
    switch (stride) {
    case 1:
        return AddToFirstWords<1>(node, value);
    case 2:
        return AddToFirstWords<2>(node, value);
    case 3:
        return AddToFirstWords<3>(node, value);
    default:
        return false;
    }
}

bool AddBE32At(sTAGNODE& target, const sTAGNODE& source, size_t payloadOffset) {
    uint32_t a = 0, b = 0;
    if (!PayloadBE32(target, payloadOffset, &a) || !PayloadBE32(source, payloadOffset, &b))
        return false;
    StoreBE32(target.data.data() + payloadOffset, a + b);
    return true;
}

} // namespace playcore
