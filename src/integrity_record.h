// The integrity record: where a package's bodies end and the checksum of
// every body, kept in the fill just before the table marker, which a reader of
// the plain layout never looks at. Packages without it stay valid.
//
// Layout, INTEGRITY_RECORD_SIZE bytes, little-endian, ending exactly where the
// table marker begins:
//   0   8 bytes  magic "SFXINTEG"
//   8   u16      version, 1
//   10  u16      record size, 136
//   12  u32      entry count, 0 to 12: the table's records
//   16  u64      package length: where the bodies end (a code signature
//                appended later is not part of it)
//   24  u64      the checksum (body_checksum.h) of the table: its records and
//                end record, reserved bytes included
//   32  12 x u64 the checksum of each body in table order; zero past the
//                entry count
//   128 u64      the checksum of bytes 0 to 127
#pragma once

#include <cstdint>

#include "src/stub.h"

namespace sfx {

constexpr char INTEGRITY_MAGIC[] = "SFXINTEG";  // eight bytes, without the NUL

// What a record's bytes hold.
enum class integrity_state {
    absent,           // no magic: a package without a record
    valid,            // magic, known version and size, own checksum holds
    damaged,          // magic, but the own checksum or a field is wrong
    unknown_version,  // magic and a version this code does not know
};

// Encodes `record` into `bytes` (INTEGRITY_RECORD_SIZE of them), own
// checksum included.
void encode_integrity_record(const integrity_record& record, unsigned char* bytes);

// Reads the record that ends at `marker_offset` in image_stream (through
// io_buffer) into integrity_present and package_integrity. Absent when the
// package has no room or no magic there. False, with a one-line table
// breach naming package_path in failure_text, for a damaged record or one of
// an unknown version.
bool read_integrity_record(int32_t marker_offset);

// Decodes INTEGRITY_RECORD_SIZE `bytes` into `record` (filled only when
// valid). A valid record has at most MAX_TABLE_ENTRIES entries, a package
// length under 2 GiB and zero checksums past its entry count.
integrity_state decode_integrity_record(const unsigned char* bytes, integrity_record& record);

}  // namespace sfx
