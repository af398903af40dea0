// Writing every entry's body into an output file of its name: each body goes
// to a fresh temporary file that is renamed over the entry's name only when
// complete, so an existing file survives any failure, a link, FIFO or device
// of the entry's name is replaced rather than written into, and a partial
// body never bears the final name.
#include "src/extraction.h"

#include <cstdio>

#include "src/body_checksum.h"
#include "src/failure.h"
#include "src/integrity_check.h"
#include "src/platform/platform.h"
#include "src/printable_text.h"
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

bool cannot_open(const table_entry& entry) {
    return set_failure("Unable to open output file %s.\n", shown_name(entry.name).c_str());
}

bool cannot_write(const table_entry& entry) {
    return set_failure("Unable to write output file %s.\n", shown_name(entry.name).c_str());
}

// Reads the current entry's body from image_stream in chunks of at most
// BLOCK_SIZE, keeping its running checksum when the package has a record, and
// writes each chunk to `destination` unless that is null (a check only).
// False on a short read or a failed write.
bool read_body(const table_entry& entry, FILE* destination) {
    const auto cannot_read = [&] {
        return set_failure("Unable to read the contents of %s from the package.\n",
                           shown_name(entry.name).c_str());
    };
    if (fseek(image_stream, entry.offset, SEEK_SET) != 0) return cannot_read();
    if (integrity_present) start_body_checksum();
    byte_count = entry.size;
    while (byte_count != 0) {
        chunk_length = byte_count > BLOCK_SIZE - 1 ? BLOCK_SIZE : byte_count;
        // Never negative: a checked table has no negative size.
        const auto chunk = static_cast<size_t>(chunk_length);
        if (fread(io_buffer, 1, chunk, image_stream) != chunk) return cannot_read();
        if (integrity_present) add_to_body_checksum(io_buffer, chunk);
        if (destination != nullptr && fwrite(io_buffer, 1, chunk, destination) != chunk)
            return cannot_write(entry);
        byte_count -= chunk_length;
    }
    return true;
}

// Writes the body and closes output_stream. The last buffered bytes are
// written by the flush, and a C library may return success from a close whose
// own flush failed, so the flush and the stream's error flag are checked
// before the close.
bool write_and_close(const table_entry& entry) {
    bool written = read_body(entry, output_stream);
    if (written && (fflush(output_stream) != 0 || ferror(output_stream) != 0))
        written = cannot_write(entry);
    if (fclose(output_stream) != 0 && written) written = cannot_write(entry);
    output_stream = nullptr;
    return written;
}

// Extracts one entry through a temporary file, renamed into place only when
// complete and, with an integrity record, its checksum holds.
bool write_output_file(const table_entry& entry) {
    if (!may_replace_output(entry.name)) return cannot_open(entry);
    char temporary_name[TEMPORARY_NAME_ROOM];
    output_stream = create_temporary_output(entry.name, temporary_name);
    if (output_stream == nullptr) return cannot_open(entry);
    setvbuf(output_stream, output_buffer, _IOFBF, sizeof output_buffer);
    // The running checksum exists only for a package with a record.
    bool done = write_and_close(entry) &&
                (!integrity_present || body_matches_record(entry, body_checksum()));
    if (done && !replace_output(temporary_name, entry.name)) done = cannot_open(entry);
    if (!done) remove(temporary_name);
    return done;
}

}  // namespace

bool check_body(const table_entry& entry) {
    return read_body(entry, nullptr) &&
           (!integrity_present || body_matches_record(entry, body_checksum()));
}

bool write_output_files(void (*written)(const char* name)) {
    for (index = 0; file_table[index].name[0] != '\0'; ++index) {
        if (!write_output_file(file_table[index])) return false;
        if (written != nullptr) written(file_table[index].name);
    }
    return true;
}

}  // namespace sfx
