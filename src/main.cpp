// The stub's driver: find the archive in its own file, unpack it into the
// current directory, start SETUP.EXE, exit. Arguments and environment are not
// read; nothing is written to standard output.
#include <cstring>

#include "src/failure.h"
#include "src/platform/platform.h"
#include "src/printable_text.h"
#include "src/stages.h"
#include "src/stub.h"

namespace {

// A larger buffer than io_buffer's block for the package stream, so that big
// bodies are read with few system calls. Sized like the output buffer, and
// for the same measured reasons (see extraction.cpp): smaller costs system
// calls, larger costs cache misses.
constexpr size_t IMAGE_BUFFER_SIZE = 256 * 1024;
char image_buffer[IMAGE_BUFFER_SIZE];

}  // namespace

int main() {
    using namespace sfx;
    memset(file_table, 0, sizeof file_table);
    // A file-size limit or a closed standard error must end the run with a
    // message (where possible) and a cleaned-up output, not kill it mid-file.
    ignore_write_signals();

    package_path = own_executable_path();
    if (package_path == nullptr) {
        set_failure("Unable to find the path of the running program.\n");
        exit_with_failure();
    }
    image_stream = open_own_executable();
    if (image_stream == nullptr) {
        set_failure("Unable to open package file %s.\n", shown_path(package_path).c_str());
        exit_with_failure();
    }
    setvbuf(image_stream, image_buffer, _IOFBF, sizeof image_buffer);

    find_table_marker();
    load_file_table(base_offset);
    extract_files();
    fclose(image_stream);
    image_stream = nullptr;
    launch_setup();
    return 0;
}
