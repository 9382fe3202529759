#pragma once
// Checked read access to the copied payload of a full box (version and flags
// in its first four bytes) and the table layout the sample-table boxes share.
// A view is made only through its Read function, which checks the type, the
// version and every count against the payload before anything is used; the
// accessors then never read outside it. A view borrows the node's payload:
// it is valid while the node lives and its payload is not replaced.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "playcore/container/byte_order.h"
#include "playcore/container/mp4_tree.h"

namespace playcore {

// Where a number lies in a box's payload.
struct FieldAt {
    size_t offset = 0;
    size_t bytes = 0; // 4 or 8
};

// Big-endian unsigned numbers of 4 or 8 bytes in a payload; the field must
// lie inside it (the views check that when they are read).
uint64_t LoadField(const std::vector<uint8_t>& payload, FieldAt at);
void StoreField(std::vector<uint8_t>& payload, FieldAt at, uint64_t value);

// The payload of a full box of the given type with version 0 or 1, at least
// minimum bytes for version 0 and minimum1 bytes for version 1.
class FullBox {
public:
    bool Read(const sTAGNODE& node, std::string_view type, size_t minimum0, size_t minimum1);
    int Version() const { return version_; }
    const std::vector<uint8_t>& Payload() const { return *payload_; }
    // The field at v0 in version 0 and at v1 in version 1.
    FieldAt Pick(FieldAt v0, FieldAt v1) const { return version_ == 0 ? v0 : v1; }
    uint64_t Load(FieldAt at) const { return LoadField(*payload_, at); }

private:
    const std::vector<uint8_t>* payload_ = nullptr;
    int version_ = -1;
};

// A table box: version/flags (4 bytes), entry count (4 bytes), then count
// entries of Words 32-bit words each. Read fails when the count does not fit
// the payload.
template <uint32_t Words> class TableBox {
public:
    static constexpr uint32_t kWords = Words;

    bool Read(const sTAGNODE& node, std::string_view type) {
        entries_ = nullptr;
        count_ = 0;
        if (node.Type() != type || node.data.size() < 8) return false;
        const uint32_t count = LoadBE32(node.data.data() + 4);
        if (uint64_t(count) * Words * 4 > node.data.size() - 8) return false;
        count_ = count;
        entries_ = node.data.data() + 8;
        return true;
    }
    uint32_t Count() const { return count_; }
    // Word w of entry i; i < Count(), w < Words.
    uint32_t Word(uint32_t i, uint32_t w) const {
        return LoadBE32(entries_ + (size_t(i) * Words + w) * 4);
    }
    // The entries' bytes (Count() × Words × 4).
    const uint8_t* Entries() const { return entries_; }
    size_t EntryBytes() const { return size_t(count_) * Words * 4; }

private:
    const uint8_t* entries_ = nullptr;
    uint32_t count_ = 0;
};

} // namespace playcore
