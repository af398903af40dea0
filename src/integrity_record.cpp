// Encoding and decoding the integrity record: the one place that knows its
// bytes, shared by the packer that writes it and every reader.
#include "src/integrity_record.h"

#include <cstring>

#include "src/body_checksum.h"
#include "src/failure.h"
#include "src/little_endian.h"
#include "src/printable_text.h"

namespace sfx {
namespace {

constexpr int32_t MAGIC_SIZE = 8;
constexpr int32_t VERSION_FIELD = 8;
constexpr int32_t SIZE_FIELD = 10;
constexpr int32_t COUNT_FIELD = 12;
constexpr int32_t LENGTH_FIELD = 16;
constexpr int32_t TABLE_CHECKSUM_FIELD = 24;
constexpr int32_t CHECKSUMS_FIELD = 32;
constexpr int32_t OWN_CHECKSUM_FIELD = CHECKSUMS_FIELD + 8 * MAX_TABLE_ENTRIES;
static_assert(OWN_CHECKSUM_FIELD + 8 == INTEGRITY_RECORD_SIZE, "the fields fill the record");

}  // namespace

void encode_integrity_record(const integrity_record& record, unsigned char* bytes) {
    memset(bytes, 0, INTEGRITY_RECORD_SIZE);
    memcpy(bytes, INTEGRITY_MAGIC, MAGIC_SIZE);
    store_le16(INTEGRITY_RECORD_VERSION, bytes + VERSION_FIELD);
    store_le16(INTEGRITY_RECORD_SIZE, bytes + SIZE_FIELD);
    store_le32(record.entry_count, bytes + COUNT_FIELD);
    store_le64(static_cast<uint64_t>(record.package_length), bytes + LENGTH_FIELD);
    store_le64(record.table_checksum, bytes + TABLE_CHECKSUM_FIELD);
    for (uint32_t entry = 0; entry < record.entry_count && entry < MAX_TABLE_ENTRIES; ++entry)
        store_le64(record.checksums[entry], bytes + CHECKSUMS_FIELD + 8 * entry);
    store_le64(checksum_of(bytes, OWN_CHECKSUM_FIELD), bytes + OWN_CHECKSUM_FIELD);
}

integrity_state decode_integrity_record(const unsigned char* bytes, integrity_record& record) {
    if (memcmp(bytes, INTEGRITY_MAGIC, MAGIC_SIZE) != 0) return integrity_state::absent;
    if (read_le16(bytes + VERSION_FIELD) != INTEGRITY_RECORD_VERSION)
        return integrity_state::unknown_version;
    if (read_le16(bytes + SIZE_FIELD) != INTEGRITY_RECORD_SIZE ||
        read_le64(bytes + OWN_CHECKSUM_FIELD) != checksum_of(bytes, OWN_CHECKSUM_FIELD))
        return integrity_state::damaged;
    const uint32_t count = read_le32(bytes + COUNT_FIELD);
    const uint64_t length = read_le64(bytes + LENGTH_FIELD);
    if (count > MAX_TABLE_ENTRIES || length >= static_cast<uint64_t>(PACKAGE_LENGTH_LIMIT))
        return integrity_state::damaged;
    record = integrity_record{};
    record.entry_count = count;
    record.package_length = static_cast<int64_t>(length);
    record.table_checksum = read_le64(bytes + TABLE_CHECKSUM_FIELD);
    for (uint32_t entry = 0; entry < MAX_TABLE_ENTRIES; ++entry) {
        const uint64_t checksum = read_le64(bytes + CHECKSUMS_FIELD + 8 * entry);
        if (entry >= count && checksum != 0) return integrity_state::damaged;
        if (entry < count) record.checksums[entry] = checksum;
    }
    return integrity_state::valid;
}

bool read_integrity_record(int32_t marker_offset) {
    integrity_present = false;
    if (marker_offset < INTEGRITY_RECORD_SIZE) return true;
    if (fseek(image_stream, marker_offset - INTEGRITY_RECORD_SIZE, SEEK_SET) != 0 ||
        fread(io_buffer, 1, INTEGRITY_RECORD_SIZE, image_stream) != INTEGRITY_RECORD_SIZE)
        return true;  // the marker was read there, so this cannot happen on a sound file
    const shown_path path(package_path != nullptr ? package_path : "package");
    switch (decode_integrity_record(io_buffer, package_integrity)) {
        case integrity_state::absent:
            return true;
        case integrity_state::valid:
            integrity_present = true;
            return true;
        case integrity_state::damaged:
            return set_failure("Invalid file table in %s: its integrity record is damaged.\n",
                               path.c_str());
        case integrity_state::unknown_version:
            return set_failure(
                "Invalid file table in %s: its integrity record has version %u, which this "
                "program does not know.\n",
                path.c_str(), static_cast<unsigned>(read_le16(io_buffer + VERSION_FIELD)));
    }
    return true;
}

}  // namespace sfx
