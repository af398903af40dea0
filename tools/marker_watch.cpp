#include "marker_watch.h"

#include <cstring>

#include "package_reader.h"

namespace sfxpack {

void marker_watch::feed(const unsigned char* bytes, size_t count) {
    constexpr size_t MARKER = static_cast<size_t>(sfx::MARKER_LENGTH);
    if (first_marker_ < 0 && carried_ > 0) {
        // Candidates that start in the carried bytes and end in this piece.
        unsigned char joint[2 * CARRY_SIZE];
        size_t taken = count < CARRY_SIZE ? count : CARRY_SIZE;
        memcpy(joint, carry_, carried_);
        memcpy(joint + carried_, bytes, taken);
        for (size_t start = 0; start < carried_ && start + MARKER <= carried_ + taken; ++start)
            if (sfx::marker_at(joint + start)) {
                first_marker_ = position_ - static_cast<int64_t>(carried_ - start);
                break;
            }
    }
    if (first_marker_ < 0)
        for (size_t start = 0; start + MARKER <= count; ++start)
            if (sfx::marker_at(bytes + start)) {
                first_marker_ = position_ + static_cast<int64_t>(start);
                break;
            }

    // Keep the last CARRY_SIZE bytes of carry + bytes for the next piece.
    if (count >= CARRY_SIZE) {
        memcpy(carry_, bytes + count - CARRY_SIZE, CARRY_SIZE);
        carried_ = CARRY_SIZE;
    } else {
        size_t keep_old = carried_ + count > CARRY_SIZE ? CARRY_SIZE - count : carried_;
        memmove(carry_, carry_ + carried_ - keep_old, keep_old);
        memcpy(carry_ + keep_old, bytes, count);
        carried_ = keep_old + count;
    }
    position_ += static_cast<int64_t>(count);
}

}  // namespace sfxpack
