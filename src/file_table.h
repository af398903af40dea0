// Loading the file table that follows the marker: parse, validate, size.
// Each step works on the module-level state of stub.h and returns false with
// one line in failure_text.
#pragma once

#include <cstdint>

namespace sfx {

// Reads the table block at table_start and parses it into file_table, then
// leaves the package's length in base_offset (for a signed package, the start
// of its certificate table). Fails, writing nothing, when the table has more
// than 12 records, a name longer than 12 characters, no end record within the
// bytes read, or when the package is 2 GiB or larger. Per-record rules are
// checked by check_table_record; sizes are not yet set.
bool read_file_table(int32_t table_start);

// Checks record `record` (0-based) of the table that read_file_table left:
// its name passes the name rule, its offset lies within the package, and it is
// not lower than the offset before it.
bool check_table_record(int record);

// Sets every entry's size: the next entry's offset minus its own, and for the
// last one the package's length minus its own. Only for a table whose every
// record passed check_table_record.
void size_file_table();

// read_file_table, check_table_record for every record (stopping at the first
// breach) and size_file_table: a table that comes back true is safe to
// extract.
bool load_valid_file_table(int32_t table_start);

}  // namespace sfx
