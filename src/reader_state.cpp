// Definitions of the module-level state declared in stub.h.
#include <cstring>

#include "src/failure.h"
#include "src/stub.h"

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
bool integrity_present;
integrity_record package_integrity;
const char* package_path;

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
    integrity_present = false;
    package_integrity = integrity_record{};
    package_path = nullptr;
    failure_text[0] = '\0';
}

}  // namespace sfx
