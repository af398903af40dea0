// Finding an Authenticode signature at the end of a package. Signing appends
// a certificate table to the file and records it in the PE header's security
// directory, whose "virtual address" is, unlike every other directory's, a
// plain file offset. Every field read here comes from an untrusted file: each
// is checked against the bytes actually delivered before it is used.
#include "src/code_signature.h"

#include <cstdio>

#include "src/little_endian.h"
#include "src/stub.h"

namespace sfx {
namespace {

constexpr int32_t DOS_HEADER_SIZE = 64;
constexpr int32_t NEW_HEADER_OFFSET_FIELD = 0x3C;  // e_lfanew
constexpr int32_t PE_SIGNATURE_SIZE = 4;           // "PE\0\0"
constexpr int32_t FILE_HEADER_SIZE = 20;
constexpr int32_t OPTIONAL_HEADER_SIZE_FIELD = 16;  // within the file header
constexpr uint16_t PE32_MAGIC = 0x10B;
constexpr uint16_t PE32_PLUS_MAGIC = 0x20B;
// Where the directory count stands in the optional header; the directories
// follow it. PE32+ has wider fields before it.
constexpr int32_t PE32_DIRECTORY_COUNT_FIELD = 92;
constexpr int32_t PE32_PLUS_DIRECTORY_COUNT_FIELD = 108;
constexpr uint32_t SECURITY_DIRECTORY = 4;
constexpr int32_t DIRECTORY_ENTRY_SIZE = 8;  // offset, size

// Reads up to BLOCK_SIZE bytes at `offset` into io_buffer; the count delivered.
int32_t read_block_at(int32_t offset) {
    if (fseek(image_stream, offset, SEEK_SET) != 0) return 0;
    return static_cast<int32_t>(fread(io_buffer, 1, BLOCK_SIZE, image_stream));
}

// The security directory's two fields, when the image has one; false for
// anything that is not a complete PE header.
bool find_security_directory(uint32_t& table_offset, uint32_t& table_size) {
    int32_t delivered = read_block_at(0);
    if (delivered < DOS_HEADER_SIZE || io_buffer[0] != 'M' || io_buffer[1] != 'Z') return false;
    uint32_t new_header = read_le32(io_buffer + NEW_HEADER_OFFSET_FIELD);
    // The PE header lies within the stub's image, far below 2 GiB.
    if (new_header == 0 || new_header > static_cast<uint32_t>(INT32_MAX - BLOCK_SIZE)) return false;

    // Everything needed from here on, the directories included, lies in the
    // block that starts at the PE signature.
    delivered = read_block_at(static_cast<int32_t>(new_header));
    constexpr int32_t optional_header = PE_SIGNATURE_SIZE + FILE_HEADER_SIZE;
    if (delivered < optional_header + 2) return false;
    if (read_le32(io_buffer) != 0x00004550) return false;  // "PE\0\0"
    uint32_t optional_size = read_le16(io_buffer + PE_SIGNATURE_SIZE + OPTIONAL_HEADER_SIZE_FIELD);
    uint32_t magic = read_le16(io_buffer + optional_header);
    int32_t count_field;
    if (magic == PE32_MAGIC)
        count_field = PE32_DIRECTORY_COUNT_FIELD;
    else if (magic == PE32_PLUS_MAGIC)
        count_field = PE32_PLUS_DIRECTORY_COUNT_FIELD;
    else
        return false;

    int32_t directory =
        count_field + 4 + static_cast<int32_t>(SECURITY_DIRECTORY) * DIRECTORY_ENTRY_SIZE;
    // The entry must lie inside the optional header as the file declares it,
    // inside the directories it counts, and inside the bytes delivered.
    if (optional_size < static_cast<uint32_t>(directory + DIRECTORY_ENTRY_SIZE)) return false;
    if (delivered < optional_header + directory + DIRECTORY_ENTRY_SIZE) return false;
    if (read_le32(io_buffer + optional_header + count_field) <= SECURITY_DIRECTORY) return false;
    table_offset = read_le32(io_buffer + optional_header + directory);
    table_size = read_le32(io_buffer + optional_header + directory + 4);
    return true;
}

}  // namespace

int32_t payload_length(int32_t file_length) {
    uint32_t table_offset = 0;
    uint32_t table_size = 0;
    if (!find_security_directory(table_offset, table_size)) return file_length;
    // Only a table that was appended last counts: one that ends elsewhere
    // belongs to the stub's own image (a stub signed before it was packed),
    // or the header is not to be trusted; then the package runs to the end.
    if (table_offset == 0 || table_size == 0 || file_length < 0) return file_length;
    if (uint64_t{table_offset} + table_size != static_cast<uint64_t>(file_length))
        return file_length;
    return static_cast<int32_t>(table_offset);
}

}  // namespace sfx
