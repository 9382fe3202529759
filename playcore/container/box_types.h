#pragma once
// The four-character box types the tree reader descends into or copies.
// A child whose type is not in this list ends the scan of its parent.

#include <array>
#include <cstdint>
#include <string_view>

namespace playcore {

// 172 codes (171 distinct: "xml " occurs twice), in this fixed order.
extern const std::array<std::string_view, 172> KnownBoxTypes;

// Exact, case-sensitive match of the four bytes at p against KnownBoxTypes.
// p must point at four readable bytes.
bool IsKnownBoxType(const uint8_t* p);
bool IsKnownBoxType(std::string_view type); // false unless exactly four bytes

// The four bytes as a big-endian number ("moov" is 0x6D6F6F76).
constexpr uint32_t FourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

} // namespace playcore
