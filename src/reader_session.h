// The one way into the reading steps for everything but the stub's own main.
//
// The steps work on the stub's module-level state (stub.h), which exists
// once per process. A session owns that state for its lifetime: it starts
// from the start-up values, opens or adopts the package stream, runs the
// steps the caller asks for, hands back copies of what they found, and on
// destruction closes the stream and leaves the state as at start-up. One
// session exists at a time.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "src/stub.h"

namespace sfx {

class reader_session {
public:
    // Starts from start-up state. `path` names the package in messages and
    // is what open() opens; the caller keeps it alive for the session.
    explicit reader_session(const char* path);
    // Closes the package stream and resets the state.
    ~reader_session();
    reader_session(const reader_session&) = delete;
    reader_session& operator=(const reader_session&) = delete;

    // Opens the package at the session's path for binary reading, at offset
    // 0. False with "Unable to open package file PATH.\n".
    bool open();
    // Takes `stream` (binary, at offset 0) as the package instead, and closes
    // it at the end. False, with a message, when `stream` is null.
    bool adopt(FILE* stream);

    // Finds the table marker; table_start() is then the offset just past it.
    bool find_marker();
    // Reads, checks every record and sizes the table: the stub's whole
    // judgement before it writes anything.
    bool load_table();
    // load_table for a table known to start at `table_start`, without a
    // marker search; table_start() is then that offset.
    bool load_table_at(int32_t table_start);
    // Only reads the table and the package's length, checking no record, so
    // that a caller can check each record itself with check_record.
    bool read_table();
    // Checks record `record` (0-based) of a table read_table left.
    bool check_record(int record);
    // Sets every entry's size after read_table, once every record passed
    // check_record (load_table does this itself).
    void size_table();
    // Reads the body of entry `entry` (0-based) of a sized table and checks
    // it against the integrity record; true when the package has none.
    bool check_body(int entry);
    // Writes every entry of a loaded table into the current directory,
    // telling `written`, when given, each name once its file is in place.
    bool write_files(void (*written)(const char* name) = nullptr);

    // The offset just past the marker, after find_marker.
    int32_t table_start() const { return table_start_; }
    // Where the bodies end (the package's length, or the start of its code
    // signature), after read_table or load_table.
    int32_t package_length() const;
    // The table's entries, without the end record, as the steps left them.
    std::vector<table_entry> entries() const;
    // All FILE_TABLE_SLOTS slots as the steps left them, the end record's
    // slot and the untouched ones behind it included.
    std::array<table_entry, FILE_TABLE_SLOTS> slots() const;
    // Whether the package carries a valid integrity record, after read_table
    // or load_table, and that record.
    bool has_integrity_record() const;
    integrity_record integrity() const;
    // The latest failure's one line, ending in ".\n"; empty when none.
    const char* failure() const;

private:
    int32_t table_start_ = 0;
};

}  // namespace sfx
