// Names and paths from a package, made safe to show on a terminal.
#pragma once

#include <cstddef>

namespace sfx {

// Room that printable_text needs for a text of `length` bytes, its NUL
// included: each byte may become four.
constexpr size_t printable_size(size_t length) {
    return 4 * length + 1;
}

// Writes `text` into `out` (room for `size` bytes) with every byte outside
// printable ASCII as \xNN, so that a hostile name can carry no control
// sequence to the terminal. Cuts the text short rather than overflow `out`.
// Returns `out`.
const char* printable_text(const char* text, char* out, size_t size);

}  // namespace sfx
