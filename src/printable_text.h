// Names and paths from a package or a command line, made safe to show on a
// terminal.
#pragma once

#include <cstddef>

#include "src/stub.h"

namespace sfx {

// Room that printable_text needs to show a text of `length` bytes whole, its
// NUL included: each byte may become four.
constexpr size_t printable_size(size_t length) {
    return 4 * length + 1;
}

// Writes `text` into `out` (room for `size` bytes, at least 8) so that it can
// carry no control sequence to a terminal: printable ASCII and well-formed
// UTF-8 sequences of characters from U+00A0 on stay as they are; every other
// byte (C0 controls, DEL, the C1 controls whether raw or UTF-8-encoded, and
// any byte that is not part of well-formed UTF-8) becomes \xNN. When the
// result would not fit, the middle of the text gives way to "..." so that
// both its ends still show. Returns `out`.
const char* printable_text(const char* text, char* out, size_t size);

// Room for a path in a message, its NUL included: paths of a few hundred
// characters show whole, a longer one loses its middle, and the message
// around it keeps its end.
constexpr size_t SHOWN_PATH_ROOM = 400;

// A text made printable (printable_text) into `Room` bytes of storage of its
// own, for one message.
template <size_t Room>
class shown_text {
public:
    explicit shown_text(const char* text) { printable_text(text, text_, sizeof text_); }
    const char* c_str() const { return text_; }

private:
    char text_[Room];
};

// A path or other text of any length, as shown in a message.
using shown_path = shown_text<SHOWN_PATH_ROOM>;
// An entry name, shown whole.
using shown_name = shown_text<printable_size(MAX_NAME_LENGTH)>;

}  // namespace sfx
