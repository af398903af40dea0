// Loading the file table that follows the marker: parse, validate, size.
#include "src/file_table.h"

#include <cstring>

#include "src/body_checksum.h"
#include "src/code_signature.h"
#include "src/entry_name.h"
#include "src/failure.h"
#include "src/integrity_record.h"
#include "src/little_endian.h"
#include "src/printable_text.h"
#include "src/stub.h"

namespace sfx {
namespace {

bool table_breach(const char* problem) {
    return set_failure("Invalid file table in %s: %s.\n",
                       shown_path(package_path ? package_path : "package").c_str(), problem);
}

// Parses the table block in io_buffer (byte_count bytes) into file_table,
// record by record, never past the bytes delivered.
bool parse_table_block() {
    const unsigned char* end = io_buffer + (byte_count > 0 ? byte_count : 0);
    cursor = io_buffer;
    for (index = 0;; ++index) {
        table_entry& slot = file_table[index];
        int length = 0;
        for (;;) {
            if (cursor == end) return table_breach("the table has no end record");
            unsigned char c = *cursor++;
            if (c == 0) break;
            if (length == MAX_NAME_LENGTH) {
                char problem[64];
                snprintf(problem, sizeof problem, "record %u has a name longer than %d characters",
                         index + 1, MAX_NAME_LENGTH);
                return table_breach(problem);
            }
            slot.name[length++] = static_cast<char>(c);
        }
        slot.name[length] = '\0';
        if (end - cursor < OFFSET_FIELD_SIZE) return table_breach("the table has no end record");
        // Read for the end record too, whose reserved bytes are never used.
        slot.offset = static_cast<int32_t>(read_le32(cursor));  // two's complement, as stored
        slot.size = 0;
        if (length == 0) return true;
        if (index == static_cast<uint32_t>(MAX_TABLE_ENTRIES)) {
            char problem[64];
            snprintf(problem, sizeof problem, "more than %d records", MAX_TABLE_ENTRIES);
            return table_breach(problem);
        }
        cursor += OFFSET_FIELD_SIZE;
    }
}

// Leaves the package's length in base_offset. A byte at offset 2^31 - 1 means
// the package is 2 GiB or larger; asking that way works where long, and with
// it fseek and ftell, has 32 bits.
bool measure_package() {
    if (fseek(image_stream, static_cast<long>(PACKAGE_LENGTH_LIMIT - 1), SEEK_SET) == 0 &&
        fgetc(image_stream) != EOF)
        return table_breach("the package file is 2 GiB or larger");
    long length = -1;
    if (fseek(image_stream, 0, SEEK_END) == 0) length = ftell(image_stream);
    if (length < 0)
        return set_failure("Unable to read package file %s.\n",
                           shown_path(package_path ? package_path : "").c_str());
    base_offset = payload_length(static_cast<int32_t>(length));
    return true;
}

}  // namespace

bool read_file_table(int32_t table_start) {
    // The integrity record and the package's length come first: a package cut
    // short is best told as such, even where the cut also broke its table.
    if (!read_integrity_record(table_start - MARKER_LENGTH) || !measure_package()) return false;
    if (integrity_present && base_offset != package_integrity.package_length) {
        char problem[128];
        snprintf(problem, sizeof problem, "the package is %ld bytes, %lld expected (%s)",
                 static_cast<long>(base_offset),
                 static_cast<long long>(package_integrity.package_length),
                 base_offset < package_integrity.package_length ? "an incomplete download?"
                                                                : "bytes added after packing?");
        return table_breach(problem);
    }
    fseek(image_stream, table_start, SEEK_SET);
    byte_count = static_cast<int32_t>(fread(io_buffer, 1, BLOCK_SIZE, image_stream));
    if (!parse_table_block()) return false;
    if (integrity_present) {
        // The parse stops at the end record's reserved bytes, which count too.
        const auto table_size = static_cast<size_t>(cursor - io_buffer) + OFFSET_FIELD_SIZE;
        if (checksum_of(io_buffer, table_size) != package_integrity.table_checksum ||
            index != package_integrity.entry_count)
            return table_breach("its table does not match the integrity record (a damaged file?)");
    }
    return true;
}

bool check_table_record(int record) {
    const table_entry& entry = file_table[record];
    char problem[256];
    if (const char* name_problem = entry_name_problem(entry.name)) {
        snprintf(problem, sizeof problem, "record %d name \"%s\" %s", record + 1,
                 shown_name(entry.name).c_str(), name_problem);
        return table_breach(problem);
    }
    if (entry.offset < 0 || entry.offset > base_offset) {
        snprintf(problem, sizeof problem,
                 "record %d (%s) offset %ld lies outside the package of %ld bytes", record + 1,
                 shown_name(entry.name).c_str(), static_cast<long>(entry.offset),
                 static_cast<long>(base_offset));
        return table_breach(problem);
    }
    if (record > 0 && entry.offset < file_table[record - 1].offset) {
        snprintf(problem, sizeof problem, "record %d (%s) offset %ld is lower than record %d's %ld",
                 record + 1, shown_name(entry.name).c_str(), static_cast<long>(entry.offset),
                 record, static_cast<long>(file_table[record - 1].offset));
        return table_breach(problem);
    }
    return true;
}

void size_file_table() {
    for (index = 0; file_table[index].name[0] != '\0'; ++index) {
        const table_entry& next = file_table[index + 1];
        // The end record's offset field holds reserved bytes; it never enters a size.
        int32_t body_end = next.name[0] != '\0' ? next.offset : base_offset;
        file_table[index].size = body_end - file_table[index].offset;
    }
}

bool load_valid_file_table(int32_t table_start) {
    if (!read_file_table(table_start)) return false;
    for (int record = 0; file_table[record].name[0] != '\0'; ++record)
        if (!check_table_record(record)) return false;
    size_file_table();
    return true;
}

}  // namespace sfx
