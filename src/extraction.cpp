// Writing every entry's body into an output file of its name.
#include "src/extraction.h"

#include <cstdio>

#include "src/failure.h"
#include "src/platform/platform.h"
#include "src/stub.h"

namespace sfx {
namespace {

// A larger buffer than io_buffer's block, so that a big body is written with
// few system calls while memory stays constant. 256 KiB measured fastest on
// Linux: letting each 4 KiB chunk go straight through (no buffer) took 2.5 to
// 4.5 times as long, a system call per chunk costing more than the copy it
// saves; 1 MiB and more were slower again, probably because the buffer no
// longer fits in the processor's cache.
constexpr size_t OUTPUT_BUFFER_SIZE = 256 * 1024;
char output_buffer[OUTPUT_BUFFER_SIZE];

// Copies the current entry's body from image_stream to output_stream in chunks
// of at most BLOCK_SIZE. False on a short read or a failed write.
bool copy_body(const table_entry& entry) {
    if (fseek(image_stream, entry.offset, SEEK_SET) != 0)
        return set_failure("Unable to read the contents of %s from the package.\n", entry.name);
    byte_count = entry.size;
    while (byte_count != 0) {
        chunk_length = byte_count > BLOCK_SIZE - 1 ? BLOCK_SIZE : byte_count;
        // Never negative: a checked table has no negative size.
        const auto chunk = static_cast<size_t>(chunk_length);
        if (fread(io_buffer, 1, chunk, image_stream) != chunk)
            return set_failure("Unable to read the contents of %s from the package.\n", entry.name);
        if (fwrite(io_buffer, 1, chunk, output_stream) != chunk)
            return set_failure("Unable to write output file %s.\n", entry.name);
        byte_count -= chunk_length;
    }
    return true;
}

}  // namespace

bool write_output_files() {
    for (index = 0; file_table[index].name[0] != '\0'; ++index) {
        const table_entry& entry = file_table[index];
        output_stream = open_output_file(entry.name);
        if (output_stream == nullptr)
            return set_failure("Unable to open output file %s.\n", entry.name);
        setvbuf(output_stream, output_buffer, _IOFBF, sizeof output_buffer);
        bool copied = copy_body(entry);
        // The close writes out what is still buffered, so it can fail too.
        if (fclose(output_stream) != 0 && copied)
            copied = set_failure("Unable to write output file %s.\n", entry.name);
        output_stream = nullptr;
        if (!copied) {
            // Nothing may look complete that is not.
            remove(entry.name);
            return false;
        }
    }
    return true;
}

}  // namespace sfx
