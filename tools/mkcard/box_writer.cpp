#include "tools/mkcard/box_writer.h"

#include <algorithm>
#include <stdexcept>

namespace mkcard {

void ByteWriter::U16(uint16_t v) {
    U8(static_cast<uint8_t>(v >> 8));
    U8(static_cast<uint8_t>(v));
}

void ByteWriter::U24(uint32_t v) {
    U8(static_cast<uint8_t>(v >> 16));
    U8(static_cast<uint8_t>(v >> 8));
    U8(static_cast<uint8_t>(v));
}

void ByteWriter::U32(uint32_t v) {
    U16(static_cast<uint16_t>(v >> 16));
    U16(static_cast<uint16_t>(v));
}

void ByteWriter::U64(uint64_t v) {
    U32(static_cast<uint32_t>(v >> 32));
    U32(static_cast<uint32_t>(v));
}

void ByteWriter::Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
}

void ByteWriter::Text(std::string_view text, size_t size, char pad) {
    size_t n = std::min(size, text.size());
    Bytes(text.data(), n);
    bytes_.insert(bytes_.end(), size - n, static_cast<uint8_t>(pad));
}

size_t ByteWriter::BeginBox(std::string_view type) {
    if (type.size() != 4) throw std::invalid_argument("box type must have four characters");
    size_t start = bytes_.size();
    U32(0);
    Text(type);
    return start;
}

size_t ByteWriter::BeginFullBox(std::string_view type, uint8_t version, uint32_t flags) {
    size_t start = BeginBox(type);
    U8(version);
    U24(flags);
    return start;
}

void ByteWriter::EndBox(size_t start) {
    const size_t size = bytes_.size() - start;
    if (size > 0xFFFFFFFFu) throw std::length_error("box larger than 4 GiB");
    PatchU32(start, static_cast<uint32_t>(size));
}

void ByteWriter::PatchU32(size_t at, uint32_t v) {
    if (at + 4 > bytes_.size()) throw std::out_of_range("patch outside the buffer");
    bytes_[at] = static_cast<uint8_t>(v >> 24);
    bytes_[at + 1] = static_cast<uint8_t>(v >> 16);
    bytes_[at + 2] = static_cast<uint8_t>(v >> 8);
    bytes_[at + 3] = static_cast<uint8_t>(v);
}

uint32_t ReadU32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

} // namespace mkcard
