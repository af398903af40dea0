// The table marker found the plainest way, as the oracle for the block scan.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfx::fuzz {

// Position of the first occurrence of the 30 marker bytes in `data`, or -1.
int64_t plain_marker_search(const uint8_t* data, size_t size);

}  // namespace sfx::fuzz
