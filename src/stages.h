// The stub's stages, run once each by its main in this order. None returns a
// status: a stage that fails writes its one line to standard error and ends
// the process with FAILURE_STATUS. Only the stub links these.
#pragma once

#include <cstdint>

namespace sfx {

// Writes failure_text to standard error and ends the process with
// FAILURE_STATUS.
[[noreturn]] void exit_with_failure();

// Leaves in base_offset the offset just past the first table marker.
void find_table_marker();
// Reads, validates and sizes the table that starts at table_start.
void load_file_table(int32_t table_start);
// Writes every entry's output file into the current directory, in table order.
void extract_files();
// Starts SETUP.EXE from the current directory without waiting for it.
void launch_setup();

}  // namespace sfx
