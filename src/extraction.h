// Writing every entry's body into an output file of its name.
#pragma once

namespace sfx {

// Writes every entry of file_table into the current directory, in table
// order, each output file closed before the next is opened. A file that cannot
// be opened fails with "Unable to open output file NAME.\n"; a short read, or a
// failed write or close, removes the incomplete output file and fails.
// Files completed before a failure stay.
bool write_output_files();

}  // namespace sfx
