#pragma once
// A growing big-endian byte buffer with nested ISO boxes whose 32-bit sizes
// are patched in when each box is closed.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace mkcard {

class ByteWriter {
public:
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v);
    void U24(uint32_t v);
    void U32(uint32_t v);
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U64(uint64_t v);
    void Bytes(const void* data, size_t size);
    void Bytes(const std::vector<uint8_t>& data) { Bytes(data.data(), data.size()); }
    // Writes exactly size bytes: the text, cut or padded with pad.
    void Text(std::string_view text, size_t size, char pad = '\0');
    void Text(std::string_view text) { Bytes(text.data(), text.size()); }
    void Zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }

    // Starts a box of the given four-character type; returns its position for EndBox.
    size_t BeginBox(std::string_view type);
    // A full box: the header, then version and 24-bit flags.
    size_t BeginFullBox(std::string_view type, uint8_t version, uint32_t flags);
    // Writes the size of the box started at start (header included).
    void EndBox(size_t start);

    void PatchU32(size_t at, uint32_t v);

    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Big-endian reads used by the writers' own checks.
uint32_t ReadU32(const uint8_t* p);
uint16_t ReadU16(const uint8_t* p);

} // namespace mkcard
