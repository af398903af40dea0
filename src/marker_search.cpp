// The table marker search: the first occurrence of the marker in the package
// file, found with overlapping block reads through io_buffer.
#include "src/marker_search.h"

#include <cstring>

#include "src/failure.h"
#include "src/stub.h"

namespace sfx {

const char marker_vendor[MARKER_VENDOR_LENGTH + 1] = "Morvantelquistor";
const char marker_suffix[MARKER_SUFFIX_LENGTH + 1] = " setup program";

namespace {

// base_offset is a signed 32-bit value; past this point the next block's
// offset could overflow it, and no valid package has its marker there.
constexpr int32_t SCAN_LIMIT = static_cast<int32_t>(PACKAGE_LENGTH_LIMIT - 1 - 2 * BLOCK_SIZE);

}  // namespace

bool marker_at(const unsigned char* candidate) {
    // The suffix is compared only after the vendor half matched.
    return memcmp(candidate, marker_vendor, MARKER_VENDOR_LENGTH) == 0 &&
           memcmp(candidate + MARKER_VENDOR_LENGTH, marker_suffix, MARKER_SUFFIX_LENGTH) == 0;
}

bool scan_for_table_marker() {
    base_offset = 0;
    for (;;) {
        byte_count = static_cast<int32_t>(fread(io_buffer, 1, BLOCK_SIZE, image_stream));
        marker_found = false;
        index = 0;
        cursor = io_buffer;
        // Candidates 0 .. byte_count - 31: a block of 30 bytes or fewer has none.
        while (static_cast<int32_t>(index) < byte_count - MARKER_LENGTH) {
            if (marker_at(cursor)) {
                base_offset += static_cast<int32_t>(index) + MARKER_LENGTH;
                marker_found = true;
                break;
            }
            ++index;
            ++cursor;
        }
        if (marker_found) return true;
        // A short block is the end of the file (or a failed read).
        if (byte_count < BLOCK_SIZE || base_offset > SCAN_LIMIT)
            return set_failure("Unable to locate Table Marker.\n");
        // The next block starts at the first position not yet examined, so
        // blocks overlap by the marker's length and a marker across the
        // boundary lies whole in the next block.
        base_offset += byte_count - MARKER_LENGTH;
        fseek(image_stream, base_offset, SEEK_SET);
    }
}

}  // namespace sfx
