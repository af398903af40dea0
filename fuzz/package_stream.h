// A read-only stream over fuzz input that stands in for the package file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace sfx::fuzz {

// The bytes of a package file of `length` bytes whose first `stored` bytes
// are `data` and whose remaining bytes, if any, are zero. The zeros are never
// held in memory, so a short input can stand for a package of any length,
// 2 GiB and more included.
struct package_bytes {
    const uint8_t* data;
    size_t stored;
    uint64_t length;

    // The byte at `position`, which must be below `length`.
    uint8_t at(uint64_t position) const { return position < stored ? data[position] : 0; }
};

// Opens a binary read stream over `package` that behaves like a disk file of
// package.length bytes: reads deliver its bytes and stop at its end, seeks
// from the start, the current position or the end succeed for any position
// that is not negative, the end included and past it. package.data must
// outlive the stream; fclose releases everything. Null only when the C
// library refuses to create the stream.
FILE* open_package_stream(const package_bytes& package);

}  // namespace sfx::fuzz
