// Writing every entry's body into an output file of its name.
#pragma once

#include "src/stub.h"

namespace sfx {

// Writes every entry of file_table into the current directory, in table
// order, each output file closed before the next is opened. Each body is
// written to a new temporary file, flushed and closed, then renamed over the
// entry's name, so a later entry of the same name wins. An entry whose name
// must not be replaced (a symbolic link, a read-only file, a short-name
// alias), or whose file cannot be created or renamed, fails with "Unable to
// open output file NAME.\n"; a short read, or a failed write, flush or close,
// fails with its own line. The temporary file is removed on every failure;
// files completed before it stay, and an existing file of the failing name is
// left as it was.
// `written`, when given, is told the name of each file once it is in place.
bool write_output_files(void (*written)(const char* name) = nullptr);

// Reads the body of `entry` (a slot of file_table, of a package with an
// integrity record) through io_buffer, as extraction does but writing
// nothing, and checks it against the record (integrity_check.h). A body that
// cannot be read whole fails as in extraction.
bool check_body(const table_entry& entry);

}  // namespace sfx
