// Checking bodies against the package's integrity record.
#pragma once

#include <cstdint>

#include "src/stub.h"

namespace sfx {

// True when the package has no integrity record, or when `checksum` is what
// the record holds for `entry` (a slot of file_table). Otherwise false with
// "The contents of NAME in PATH are damaged (a checksum does not match).\n".
bool body_matches_record(const table_entry& entry, uint64_t checksum);

}  // namespace sfx
