// The layout rules that every table the loader accepts must keep, checked
// against a plain reading of the table straight from the package bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/package_stream.h"
#include "src/reader_session.h"

namespace sfx::fuzz {

// One table record as it stands in the package.
struct stored_record {
    std::string name;
    int32_t offset;
};

// Reads the table that starts at `table_start` byte by byte, straight from
// `package`, into `records`, and returns null when it keeps every layout and
// safety rule: the package shorter than 2 GiB; at most 12 records, each a
// name of 1 to 12 characters that passes entry_name_problem, its NUL and a
// little-endian signed offset; then the end record, its four reserved bytes
// included, within the package and within BLOCK_SIZE bytes of table_start;
// every offset within [0, package length], none lower than the one before.
// Otherwise returns the rule that the table breaks.
const char* read_table_plainly(const package_bytes& package, int64_t table_start,
                               std::vector<stored_record>& records);

// To be called right after `session` accepted the table of `package` that
// starts at session.table_start(). Reports a finding unless the table keeps every rule of
// read_table_plainly; the session's slots hold exactly its records, each
// name NUL-terminated within its slot, then the end slot, then untouched zero
// slots; the package length, where the last body ends, lies between the last offset
// and the package's length; and every size is the distance to the next
// offset, for the last entry to the package length, so that no size is negative and
// all of them together stay within the package.
void check_accepted_table(const sfx::reader_session& session, const package_bytes& package);

}  // namespace sfx::fuzz
