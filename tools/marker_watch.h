// Finds the table marker in bytes that arrive in pieces (a file being
// copied), wherever it starts, across piece boundaries included.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stub.h"

namespace sfxpack {

class marker_watch {
public:
    // Looks at the next `count` bytes of the stream.
    void feed(const unsigned char* bytes, size_t count);

    // Stream offset of the first marker seen so far, or -1 when none.
    int64_t first_marker() const { return first_marker_; }

private:
    // The last bytes fed that a marker may still start in.
    static constexpr size_t CARRY_SIZE = sfx::MARKER_LENGTH - 1;
    unsigned char carry_[CARRY_SIZE] = {};
    size_t carried_ = 0;
    int64_t position_ = 0;  // stream offset of bytes[0] in the current feed
    int64_t first_marker_ = -1;
};

}  // namespace sfxpack
