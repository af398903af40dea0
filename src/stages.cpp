// The stub's stages: the shared reading steps, with a failure ending the run.
#include "package_reader.h"
#include "platform/platform.h"
#include "stub.h"

namespace sfx {

void find_table_marker() {
    if (!scan_for_table_marker()) exit_with_failure();
}

void load_file_table(int32_t table_start) {
    // The whole table is checked before any output file is opened.
    if (!load_valid_file_table(table_start)) exit_with_failure();
}

void extract_files() {
    if (!write_output_files()) exit_with_failure();
}

void launch_setup() { start_setup_program(); }

}  // namespace sfx
