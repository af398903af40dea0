// The checksum of packed bodies and of the integrity record: XXH3, 64 bits.
// It detects damage (a cut download, a flipped bit), not tampering: whoever
// can change a body can change its checksum too; a code signature covers that.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfx {

// Starts a new running checksum, the one the stub keeps while it copies a
// body (one at a time, as the stub writes one file at a time).
void start_body_checksum();

// Adds `size` bytes at `bytes` to the running checksum.
void add_to_body_checksum(const unsigned char* bytes, size_t size);

// The running checksum of every byte added since start_body_checksum.
uint64_t body_checksum();

// The checksum of `size` bytes at `bytes` in one go; the same value as the
// running checksum of the same bytes added in any pieces.
uint64_t checksum_of(const unsigned char* bytes, size_t size);

}  // namespace sfx
