// Where everything of a package goes, worked out from the sizes alone before
// a byte is written, so that a package that would break the 2 GiB limit is
// refused up front.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/stub.h"

namespace sfx::pack {

// The image is followed by zero fill up to the next multiple of this, the
// stub's read block, which is where packages of this layout have always put
// their marker (the stub itself finds a marker at any offset: its scan
// examines every position). Fill of a whole block at most, so the stub
// scans at most one block of it.
constexpr int64_t MARKER_ALIGNMENT = sfx::BLOCK_SIZE;
// The whole package is padded (between the end record and the first body) to
// a multiple of this: a code signature appended later then needs no padding
// of its own, which would otherwise become part of the last body.
constexpr int64_t PACKAGE_ALIGNMENT = 8;

struct package_layout {
    int64_t record_offset = -1;     // the integrity record, ending at the marker; -1 for none
    int64_t marker_offset = 0;      // end of the image plus zero fill
    int64_t table_offset = 0;       // just past the marker
    int64_t table_end = 0;          // just past the end record
    int64_t first_body_offset = 0;  // table_end plus the padding
    std::vector<int64_t> body_offsets;
    int64_t total_length = 0;
};

// Lays out an image of `image_size` bytes followed by entries named `names`
// with bodies of `body_sizes` bytes (same order and count), with room for an
// integrity record in the fill when `integrity_record` is set (the fill grows
// by a block when it lacks room). The result may be 2 GiB or longer; the
// caller checks.
package_layout plan_package(int64_t image_size, const std::vector<std::string>& names,
                            const std::vector<int64_t>& body_sizes, bool integrity_record = false);

}  // namespace sfx::pack
