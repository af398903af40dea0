// Layout constants of the appended archive and the stub's module-level state.
//
// A package file is the stub's executable image, optional fill, the 30-byte
// table marker, up to twelve table records (name, NUL, little-endian signed
// 32-bit offset), an end record (NUL and four reserved bytes) and the bodies,
// back to back up to the end of the file. Everything that reads or writes that
// layout, the stub and the packer alike, takes its numbers from here.
#pragma once

#include <cstdint>
#include <cstdio>

namespace sfx {

// Every read of the package file goes through one block of this size.
constexpr int32_t BLOCK_SIZE = 4096;
// Twelve entries plus the slot that the end record takes.
constexpr int FILE_TABLE_SLOTS = 13;
constexpr int MAX_TABLE_ENTRIES = FILE_TABLE_SLOTS - 1;
// Room for an 8.3 name; with its NUL it fills a table_entry name.
constexpr int MAX_NAME_LENGTH = 12;

constexpr int32_t MARKER_VENDOR_LENGTH = 16;
constexpr int32_t MARKER_SUFFIX_LENGTH = 14;
constexpr int32_t MARKER_LENGTH = MARKER_VENDOR_LENGTH + MARKER_SUFFIX_LENGTH;

constexpr int32_t OFFSET_FIELD_SIZE = 4;
constexpr int32_t END_RECORD_SIZE = 1 + OFFSET_FIELD_SIZE;
// Twelve records of twelve-character names and the end record: 209 bytes.
constexpr int32_t MAX_TABLE_SIZE =
    MAX_TABLE_ENTRIES * (MAX_NAME_LENGTH + 1 + OFFSET_FIELD_SIZE) + END_RECORD_SIZE;

// Offsets and sizes are signed 32-bit values, so a package is shorter than this.
constexpr int64_t PACKAGE_LENGTH_LIMIT = int64_t{1} << 31;

// The integrity record (integrity_record.h) that a package may carry just
// before its marker: its size and its only version.
constexpr int32_t INTEGRITY_RECORD_SIZE = 136;
constexpr uint16_t INTEGRITY_RECORD_VERSION = 1;

// The status of every failed run.
constexpr int FAILURE_STATUS = 4;

// The two halves of the table marker, each its own NUL-terminated string so
// that the stub's image never holds the 30 marker bytes in one piece (the scan
// would find that copy first).
extern const char marker_vendor[MARKER_VENDOR_LENGTH + 1];
extern const char marker_suffix[MARKER_SUFFIX_LENGTH + 1];

// The program started after extraction, by this name from the current directory.
extern const char SETUP_PROGRAM_NAME[];

// One slot of the in-memory file table. An empty name marks the end record.
struct table_entry {
    char name[MAX_NAME_LENGTH + 1];
    int32_t offset;
    int32_t size;
};

// What a package's integrity record says: where its bodies end, the
// checksum of its table and of each body, in table order.
struct integrity_record {
    uint32_t entry_count;
    int64_t package_length;
    uint64_t table_checksum;
    uint64_t checksums[MAX_TABLE_ENTRIES];
};

// ---------------------------------------------------------------------------
// Module-level state. The run is one straight pass over these variables, all
// zero or null at start-up; no stage allocates memory of its own. Only the
// stub's main and the reading steps themselves use them directly; the packer,
// the tests and the fuzz targets go through reader_session.

extern FILE* image_stream;                   // the package file, read in binary
extern FILE* output_stream;                  // the output file being written, one at a time
extern unsigned char io_buffer[BLOCK_SIZE];  // every read of the package passes through it
extern int32_t byte_count;                   // bytes the last read delivered; bytes left to copy
extern int32_t chunk_length;                 // bytes moved by one copy step
extern uint32_t index;                       // candidate position in a block; slot in file_table
extern int32_t base_offset;    // block start / offset past the marker / package length
extern unsigned char* cursor;  // candidate byte in the block; next table byte
extern bool marker_found;
extern table_entry file_table[FILE_TABLE_SLOTS];
extern bool integrity_present;              // the package carries a valid integrity record
extern integrity_record package_integrity;  // that record, when present

// Path of the package file, for messages; null until known.
extern const char* package_path;

// Zeroes every module-level variable and the failure text, as at start-up.
void reset_reader_state();

}  // namespace sfx
