// sfxpack create: writing a package file from a stub image and input files.
#include "tools/package_writer.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "src/body_checksum.h"
#include "src/entry_name.h"
#include "src/integrity_record.h"
#include "src/little_endian.h"
#include "src/reader_session.h"
#include "src/stub.h"
#include "tools/package_layout.h"
#include "tools/package_rules.h"
#include "tools/temp_output.h"

namespace sfx::pack {
namespace {

namespace fs = std::filesystem;

// Bodies of any size pass through this one buffer.
constexpr size_t COPY_BUFFER_SIZE = 64 * 1024;
unsigned char copy_buffer[COPY_BUFFER_SIZE];

std::string in_quotes(const std::string& text) {
    return "\"" + text + "\"";
}

// Every rule about the table itself, checked before any file is touched.
bool check_entries(const package_request& request, std::string& error) {
    const std::vector<pack_item>& items = request.items;
    if (items.size() > static_cast<size_t>(sfx::MAX_TABLE_ENTRIES)) {
        error = request.output_path + ": " + std::to_string(items.size()) +
                " entries given; a package holds at most " + std::to_string(sfx::MAX_TABLE_ENTRIES);
        return false;
    }
    std::vector<std::string> names;
    for (const pack_item& item : items) {
        if (item.path.empty()) {
            error = "entry " + in_quotes(item.name) + ": no file given after '='";
            return false;
        }
        if (const char* problem = sfx::entry_name_problem(item.name.c_str())) {
            error = item.path + ": entry name " + in_quotes(item.name) + " " + problem;
            return false;
        }
        // The stub hands names to the system in its ANSI code page, so a byte
        // outside ASCII names different characters, or one file where the
        // packer saw two, depending on the machine that runs the package.
        for (char c : item.name)
            if (static_cast<unsigned char>(c) >= 0x80) {
                error = item.path + ": entry name " + in_quotes(item.name) +
                        " holds characters outside ASCII, whose meaning depends on the code "
                        "page of the machine that runs the package";
                return false;
            }
        names.push_back(item.name);
    }
    size_t first = 0, second = 0;
    if (find_case_duplicate(names, first, second)) {
        if (names[first] == names[second])  // most likely the same file given twice
            error =
                items[second].path + ": entry name " + in_quotes(names[second]) +
                " is given twice" +
                (items[first].path == items[second].path ? " (the same file)"
                                                         : " (also for " + items[first].path + ")");
        else
            error = items[second].path + ": entry name " + in_quotes(names[second]) +
                    " is already taken by " + in_quotes(names[first]) +
                    " (names that differ only in letter case are one file on Windows)";
        return false;
    }
    if (request.require_setup && !has_setup_program(names)) {
        error = request.output_path + ": no entry is named " + sfx::SETUP_PROGRAM_NAME +
                ", the program the package starts (give --no-setup to pack without one)";
        return false;
    }
    return true;
}

// The size of the regular file at `path`, or false with the reason.
bool regular_file_size(const std::string& path, int64_t& size, std::string& error) {
    std::error_code failure;
    fs::file_status status = fs::status(path, failure);
    if (failure) {
        error = path + ": cannot open: " + failure.message();
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = path + ": not a regular file";
        return false;
    }
    uintmax_t length = fs::file_size(path, failure);
    if (failure) {
        error = path + ": cannot read its size: " + failure.message();
        return false;
    }
    size = static_cast<int64_t>(length);
    return true;
}

bool write_bytes(FILE* out, const void* bytes, size_t count, const std::string& out_path,
                 std::string& error) {
    if (count == 0 || fwrite(bytes, 1, count, out) == count) return true;
    error = out_path + ": cannot write the package file: " + strerror(errno);
    return false;
}

bool write_zeros(FILE* out, int64_t count, const std::string& out_path, std::string& error) {
    static const unsigned char zeros[4096] = {};
    while (count > 0) {
        size_t piece =
            count < static_cast<int64_t>(sizeof zeros) ? static_cast<size_t>(count) : sizeof zeros;
        if (!write_bytes(out, zeros, piece, out_path, error)) return false;
        count -= static_cast<int64_t>(piece);
    }
    return true;
}

// Copies the file at `path`, which must still be `expected` bytes long, to
// `out`. The offsets in the table were worked out from that size, so a file
// that grows or shrinks meanwhile would corrupt the package.
bool copy_file(const std::string& path, int64_t expected, FILE* out, const std::string& out_path,
               std::string& error, uint64_t* checksum = nullptr) {
    if (checksum != nullptr) sfx::start_body_checksum();
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr) {
        error = path + ": cannot open: " + strerror(errno);
        return false;
    }
    int64_t copied = 0;
    bool ok = true;
    for (;;) {
        size_t got = fread(copy_buffer, 1, sizeof copy_buffer, in);
        if (got == 0) break;
        if (static_cast<int64_t>(got) > expected - copied) {
            copied += static_cast<int64_t>(got);
            break;
        }
        if (checksum != nullptr) sfx::add_to_body_checksum(copy_buffer, got);
        if (!write_bytes(out, copy_buffer, got, out_path, error)) {
            ok = false;
            break;
        }
        copied += static_cast<int64_t>(got);
    }
    if (ok && ferror(in)) {
        error = path + ": cannot read: " + strerror(errno);
        ok = false;
    } else if (ok && copied != expected) {
        error = path + ": changed size while being packed (it was " + std::to_string(expected) +
                " bytes)";
        ok = false;
    }
    fclose(in);
    if (ok && checksum != nullptr) *checksum = sfx::body_checksum();
    return ok;
}

// The package replaces OUT only at the end, by rename: were OUT also the stub
// or an input, that file would be lost for good.
bool check_output_is_no_input(const package_request& request, std::string& error) {
    std::error_code failure;
    if (!fs::exists(request.output_path, failure)) return true;
    std::vector<std::string> inputs = {request.stub_path};
    for (const pack_item& item : request.items)
        inputs.push_back(item.path);
    for (const std::string& input : inputs)
        if (fs::equivalent(request.output_path, input, failure)) {
            error = request.output_path + ": is also an input (" + input +
                    "); writing the package there would destroy it";
            return false;
        }
    return true;
}

void append_le32(std::string& bytes, int64_t value) {
    unsigned char field[sfx::OFFSET_FIELD_SIZE];
    sfx::store_le32(static_cast<uint32_t>(value), field);
    bytes.append(reinterpret_cast<const char*>(field), sizeof field);
}

// The marker, the table records and the end record with zero reserved bytes.
std::string table_bytes(const package_request& request, const package_layout& layout) {
    std::string bytes = std::string(sfx::marker_vendor) + sfx::marker_suffix;
    for (size_t i = 0; i < request.items.size(); ++i) {
        bytes += request.items[i].name;
        bytes.push_back('\0');
        append_le32(bytes, layout.body_offsets[i]);
    }
    bytes.push_back('\0');
    append_le32(bytes, 0);
    return bytes;
}

// The stub takes the first marker in its file as the table's: one inside the
// stub image would make it read a table from the wrong place. Asks the stub's
// own search, over the bytes written so far, where the first marker is.
bool check_marker_is_first(const temp_output& output, const package_layout& layout,
                           const std::string& stub_path, std::string& error) {
    if (fflush(output.stream()) != 0) {
        error = output.path() + ": cannot write the package file: " + strerror(errno);
        return false;
    }
    sfx::reader_session session(output.path().c_str());
    if (!session.open()) {
        error = output.path() + ": cannot read back the package file: " + strerror(errno);
        return false;
    }
    // The table follows the marker written here, so the search finds that
    // one when it finds no earlier one, unless reading back fails.
    if (!session.find_marker()) {
        error = output.path() + ": cannot read back the package file";
        return false;
    }
    int64_t first_marker = int64_t{session.table_start()} - sfx::MARKER_LENGTH;
    if (first_marker == layout.marker_offset) return true;
    error = stub_path + ": the stub image contains the table marker at offset " +
            std::to_string(first_marker);
    return false;
}

// Writes the record into the room the layout left for it before the marker,
// now that every body's checksum is known.
bool write_integrity_record(FILE* out, const package_layout& layout,
                            const sfx::integrity_record& record, const std::string& out_path,
                            std::string& error) {
    unsigned char bytes[sfx::INTEGRITY_RECORD_SIZE];
    sfx::encode_integrity_record(record, bytes);
    if (fseek(out, static_cast<long>(layout.record_offset), SEEK_SET) != 0) {
        error = out_path + ": cannot write the package file: " + strerror(errno);
        return false;
    }
    return write_bytes(out, bytes, sizeof bytes, out_path, error);
}

}  // namespace

bool create_package(const package_request& request, std::string& error) {
    if (!check_entries(request, error)) return false;

    int64_t image_size = 0;
    if (!regular_file_size(request.stub_path, image_size, error)) return false;
    if (image_size == 0) {
        error = request.stub_path + ": the stub image is empty";
        return false;
    }
    std::vector<std::string> names;
    std::vector<int64_t> body_sizes;
    for (const pack_item& item : request.items) {
        int64_t size = 0;
        if (!regular_file_size(item.path, size, error)) return false;
        names.push_back(item.name);
        body_sizes.push_back(size);
    }
    if (!check_output_is_no_input(request, error)) return false;
    package_layout layout = plan_package(image_size, names, body_sizes, request.integrity_record);
    if (layout.total_length >= sfx::PACKAGE_LENGTH_LIMIT) {
        error = request.output_path + ": the package would be " +
                std::to_string(layout.total_length) +
                " bytes; it must stay under 2 GiB, since its offsets are signed 32-bit values";
        return false;
    }

    temp_output output;
    if (!output.create(request.output_path, error)) return false;
    FILE* out = output.stream();
    const std::string& out_path = request.output_path;

    std::string table = table_bytes(request, layout);
    if (!copy_file(request.stub_path, image_size, out, out_path, error) ||
        !write_zeros(out, layout.marker_offset - image_size, out_path, error) ||
        !write_bytes(out, table.data(), table.size(), out_path, error) ||
        !check_marker_is_first(output, layout, request.stub_path, error) ||
        !write_zeros(out, layout.first_body_offset - layout.table_end, out_path, error))
        return false;
    sfx::integrity_record record{};
    record.entry_count = static_cast<uint32_t>(request.items.size());
    record.package_length = layout.total_length;
    record.table_checksum =
        sfx::checksum_of(reinterpret_cast<const unsigned char*>(table.data()) + sfx::MARKER_LENGTH,
                         table.size() - sfx::MARKER_LENGTH);
    for (size_t i = 0; i < request.items.size(); ++i)
        if (!copy_file(request.items[i].path, body_sizes[i], out, out_path, error,
                       &record.checksums[i]))
            return false;
    if (request.integrity_record && !write_integrity_record(out, layout, record, out_path, error))
        return false;
    return output.commit(error);
}

}  // namespace sfx::pack
