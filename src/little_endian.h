// Little-endian fields, at any alignment: the table's offsets, the PE
// header's fields and the integrity record's. The stub reads them; the packer writes them.
#pragma once

#include <cstdint>

namespace sfx {

// The 16-bit value stored low byte first at `bytes`.
inline uint32_t read_le16(const unsigned char* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8;
}

// The 32-bit value stored low byte first at `bytes`.
inline uint32_t read_le32(const unsigned char* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

// The 64-bit value stored low byte first at `bytes`.
inline uint64_t read_le64(const unsigned char* bytes) {
    return uint64_t{read_le32(bytes)} | uint64_t{read_le32(bytes + 4)} << 32;
}

// Stores the low 16 bits of `value` low byte first in the two bytes at `bytes`.
inline void store_le16(uint32_t value, unsigned char* bytes) {
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}

// Stores `value` low byte first in the four bytes at `bytes`.
inline void store_le32(uint32_t value, unsigned char* bytes) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Stores `value` low byte first in the eight bytes at `bytes`.
inline void store_le64(uint64_t value, unsigned char* bytes) {
    store_le32(static_cast<uint32_t>(value), bytes);
    store_le32(static_cast<uint32_t>(value >> 32), bytes + 4);
}

}  // namespace sfx
