// Definitions of the module-level state declared in stub.h, and the failure
// text that every reading step reports through.
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "package_reader.h"
#include "stub.h"

namespace sfx {

const char SETUP_PROGRAM_NAME[] = "SETUP.EXE";

FILE* image_stream;
FILE* output_stream;
unsigned char io_buffer[BLOCK_SIZE];
int32_t byte_count;
int32_t chunk_length;
uint32_t index;
int32_t base_offset;
unsigned char* cursor;
bool marker_found;
table_entry file_table[FILE_TABLE_SLOTS];
const char* package_path;

char failure_text[FAILURE_TEXT_SIZE];

bool set_failure(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(failure_text, sizeof failure_text, format, arguments);
    va_end(arguments);
    return false;
}

void exit_with_failure() {
    // Standard error is unbuffered: the line is out in one piece before exit
    // flushes and closes whatever is still open.
    fputs(failure_text, stderr);
    exit(FAILURE_STATUS);
}

void reset_reader_state() {
    image_stream = nullptr;
    output_stream = nullptr;
    memset(io_buffer, 0, sizeof io_buffer);
    byte_count = 0;
    chunk_length = 0;
    index = 0;
    base_offset = 0;
    cursor = nullptr;
    marker_found = false;
    memset(file_table, 0, sizeof file_table);
    package_path = nullptr;
    failure_text[0] = '\0';
}

}  // namespace sfx
