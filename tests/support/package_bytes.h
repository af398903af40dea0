// The byte-level pieces of test packages and images: little-endian fields and
// the table marker. Every test writes and reads them through here. The fields
// are encoded here by hand, not with src/little_endian.h: a test package must
// not share a fault with the code that reads it, or a byte order wrong on
// both sides would pass every test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sfx::test {

// The 30-byte table marker, assembled at run time from its two halves so that
// no test binary holds it in one piece (a stub scanning a test program's image
// would otherwise stop there).
std::string table_marker();

// An image of `size` bytes (at least 64) that sfxpack takes for a stub: a PE
// "MZ" header and both marker halves, each with its NUL, as a real stub keeps
// them; zeros otherwise.
std::string stub_like_image(size_t size);

// `value` as a little-endian two's-complement 32-bit field: a table offset.
std::string le32(int32_t value);

// Appends le32(value) to `bytes`.
void append_le32(std::string& bytes, int32_t value);

// Overwrites the 32-bit field at `at` in `bytes` with `value`, low byte first;
// `bytes` must hold at least at + 4 bytes.
void put_le32(std::string& bytes, size_t at, uint32_t value);

// Overwrites the 16-bit field at `at` in `bytes` with the low 16 bits of
// `value`, low byte first; `bytes` must hold at least at + 2 bytes.
void put_le16(std::string& bytes, size_t at, uint32_t value);

// The two's-complement 32-bit field stored low byte first at `at` in
// `bytes`; `bytes` must hold at least at + 4 bytes.
int32_t le32_at(const std::string& bytes, size_t at);

}  // namespace sfx::test
