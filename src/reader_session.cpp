// reader_session: the reading steps for the packer, the tests and the fuzz
// targets, over the stub's module-level state.
#include "src/reader_session.h"

#include <cassert>

#include "src/extraction.h"
#include "src/failure.h"
#include "src/file_table.h"
#include "src/marker_search.h"
#include "src/printable_text.h"

namespace sfx {
namespace {

// Two sessions at once would share one state and corrupt each other's reads.
bool session_open = false;

}  // namespace

reader_session::reader_session(const char* path) {
    assert(!session_open && "one reader_session at a time");
    session_open = true;
    reset_reader_state();
    package_path = path;
}

reader_session::~reader_session() {
    if (image_stream != nullptr) fclose(image_stream);
    if (output_stream != nullptr) fclose(output_stream);
    reset_reader_state();
    session_open = false;
}

bool reader_session::open() {
    image_stream = fopen(package_path, "rb");
    if (image_stream == nullptr)
        return set_failure("Unable to open package file %s.\n", shown_path(package_path).c_str());
    return true;
}

bool reader_session::adopt(FILE* stream) {
    image_stream = stream;
    if (image_stream == nullptr)
        return set_failure("Unable to open package file %s.\n", shown_path(package_path).c_str());
    return true;
}

bool reader_session::find_marker() {
    if (!scan_for_table_marker()) return false;
    table_start_ = base_offset;
    return true;
}

bool reader_session::load_table() {
    return load_valid_file_table(table_start_);
}

bool reader_session::load_table_at(int32_t table_start) {
    table_start_ = table_start;
    return load_table();
}

bool reader_session::read_table() {
    return read_file_table(table_start_);
}

bool reader_session::check_record(int record) {
    return check_table_record(record);
}

void reader_session::size_table() {
    size_file_table();
}

bool reader_session::check_body(int entry) {
    return sfx::check_body(file_table[entry]);
}

bool reader_session::has_integrity_record() const {
    return integrity_present;
}

integrity_record reader_session::integrity() const {
    return package_integrity;
}

bool reader_session::write_files(void (*written)(const char* name)) {
    return write_output_files(written);
}

int32_t reader_session::package_length() const {
    return base_offset;
}

std::vector<table_entry> reader_session::entries() const {
    std::vector<table_entry> copy;
    for (int slot = 0; slot < FILE_TABLE_SLOTS && file_table[slot].name[0] != '\0'; ++slot)
        copy.push_back(file_table[slot]);
    return copy;
}

std::array<table_entry, FILE_TABLE_SLOTS> reader_session::slots() const {
    std::array<table_entry, FILE_TABLE_SLOTS> copy;
    for (int slot = 0; slot < FILE_TABLE_SLOTS; ++slot)
        copy[static_cast<size_t>(slot)] = file_table[slot];
    return copy;
}

const char* reader_session::failure() const {
    return failure_text;
}

}  // namespace sfx
