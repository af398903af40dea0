// The reading side of the package layout, shared by the stub, the packer and
// the fuzz targets. Each step works on the module-level state of stub.h and
// returns false on failure, leaving a one-line message in failure_text; the
// caller decides how to report it (the stub prints it and exits with status 4).
#pragma once

#include <cstddef>
#include <cstdint>

#include "stub.h"

namespace sfx {

// Room for one failure message, a path included.
constexpr size_t FAILURE_TEXT_SIZE = 1024;

// The latest failure's message, ending in ".\n".
extern char failure_text[FAILURE_TEXT_SIZE];

// Formats a message into failure_text (printf-style) and returns false, so a
// step can `return set_failure(...)`.
bool set_failure(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Writes failure_text to standard error and ends the process with
// FAILURE_STATUS.
[[noreturn]] void exit_with_failure();

// Zeroes every module-level variable, as at start-up.
void reset_reader_state();

// True when the 30 bytes at `candidate` are the table marker: the vendor half
// followed directly by the suffix half, byte for byte.
bool marker_at(const unsigned char* candidate);

// Scans image_stream from its current position (offset 0) in blocks of
// BLOCK_SIZE, each next block starting MARKER_LENGTH bytes before the end of
// the one before, and leaves in base_offset the offset just past the first
// marker. Positions up to the file's length - 31 are examined, so a marker
// with no byte after it is not found. Stops at 2 GiB, past which no package
// can lie.
bool scan_for_table_marker();

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

// Writes every entry of file_table into the current directory, in table
// order, each output file closed before the next is opened. A file that cannot
// be opened fails with "Unable to open output file NAME.\n"; a short read, or a
// failed write or close, removes the incomplete output file and fails.
// Files completed before a failure stay.
bool write_output_files();

}  // namespace sfx
