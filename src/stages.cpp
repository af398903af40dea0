// The stub's stages: the shared reading steps, with a failure ending the run.
#include "src/stages.h"

#include <cstdio>
#include <cstdlib>

#include "src/extraction.h"
#include "src/failure.h"
#include "src/file_table.h"
#include "src/marker_search.h"
#include "src/platform/platform.h"
#include "src/stub.h"

namespace sfx {

void exit_with_failure() {
    // Standard error is unbuffered: the line is out in one piece before exit
    // flushes and closes whatever is still open.
    fputs(failure_text, stderr);
    exit(FAILURE_STATUS);
}

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

void launch_setup() {
    start_setup_program();
}

}  // namespace sfx
