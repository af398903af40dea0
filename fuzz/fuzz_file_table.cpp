// Arbitrary bytes after a marker, in a package of arbitrary length, through
// the table loader. The loader must accept exactly the tables that keep every
// layout and safety rule, and what it accepts must be the table as it stands
// in the package, with sizes that stay inside it.
//
// Input: one byte choosing how the package's length is set, a little-endian
// 32-bit length parameter, a little-endian 16-bit count of zero bytes before
// the marker, then the bytes behind the marker (table, bodies, anything).
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/finding.h"
#include "fuzz/package_stream.h"
#include "fuzz/table_layout_check.h"
#include "src/reader_session.h"

namespace {

constexpr size_t HEADER_SIZE = 7;

// The package a fuzz input describes, and where its table starts.
struct shaped_package {
    sfx::fuzz::package_bytes bytes;
    int32_t table_start;
};

// Lays out the package that an input of at least HEADER_SIZE bytes describes
// in `storage`, which the result points into: the zero lead, the marker, the
// rest of the input, then cut short or extended with zeros to the length that
// the header chooses.
shaped_package shape_package(const uint8_t* data, size_t size, std::vector<uint8_t>& storage) {
    const uint8_t length_mode = data[0];
    const uint32_t parameter = uint32_t{data[1]} | uint32_t{data[2]} << 8 |
                               uint32_t{data[3]} << 16 | uint32_t{data[4]} << 24;
    const size_t lead = size_t{data[5]} | size_t{data[6]} << 8;

    storage.assign(lead, 0);
    storage.insert(storage.end(), sfx::marker_vendor,
                   sfx::marker_vendor + sfx::MARKER_VENDOR_LENGTH);
    storage.insert(storage.end(), sfx::marker_suffix,
                   sfx::marker_suffix + sfx::MARKER_SUFFIX_LENGTH);
    storage.insert(storage.end(), data + HEADER_SIZE, data + size);

    const uint64_t content = storage.size();
    uint64_t length = content;
    switch (length_mode % 4) {
        case 0:
            break;
        case 1:
            length = content - parameter % (content + 1);
            break;  // ends early, even inside the table
        case 2:
            length = content + (parameter & 0xFFFFFF);
            break;  // zero bytes appended
        case 3:
            length = parameter;
            break;  // anything, 2 GiB and more
    }
    return {{storage.data(), storage.size(), length},
            static_cast<int32_t>(lead) + sfx::MARKER_LENGTH};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using sfx::fuzz::report_finding;
    if (size < HEADER_SIZE) return 0;
    static std::vector<uint8_t> storage;
    const shaped_package package = shape_package(data, size, storage);

    sfx::reader_session session("package");
    if (!session.adopt(sfx::fuzz::open_package_stream(package.bytes)))
        report_finding("cannot open a stream over the input");

    const bool accepted = session.load_table_at(package.table_start);
    std::vector<sfx::fuzz::stored_record> records;
    const char* broken = sfx::fuzz::read_table_plainly(package.bytes, package.table_start, records);
    if (accepted) {
        sfx::fuzz::check_accepted_table(session, package.bytes);
    } else {
        if (broken == nullptr)
            report_finding("a table that keeps every rule was refused: %s", session.failure());
        const char* refusal = session.failure();
        const size_t text_length = strlen(refusal);
        if (text_length < 2 || strcmp(refusal + text_length - 2, ".\n") != 0 ||
            memchr(refusal, '\n', text_length - 1) != nullptr)
            report_finding("a refusal is not one line: \"%s\"", refusal);
    }
    return 0;
}
