// Little-endian fields, at any alignment: the table's offsets and the PE
// header's fields. The stub reads them; the packer writes them.
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

// Stores `value` low byte first in the four bytes at `bytes`.
inline void store_le32(uint32_t value, unsigned char* bytes) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace sfx
