// Lays out the bytes of a package file for tests: executable image, fill,
// table marker, table records, end record and bodies. Every part can be
// overridden, so a test can also build the hostile packages the stub must
// refuse.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace sfx_test {

// The 30-byte table marker, assembled at run time from its two halves so that
// no test binary holds it in one piece.
std::string table_marker();

// Appends `value` as a little-endian two's-complement 32-bit field.
void append_le32(std::string& bytes, int32_t value);

// One packed file. Without `offset` the record points at where the builder
// places the body; with it, the record holds that value instead (the body is
// still placed in order).
struct PackageEntry {
    std::string name;
    std::string body;
    std::optional<int32_t> offset;
};

struct PackageLayout {
    std::string image;                            // the executable image, verbatim
    std::string fill;                             // bytes between image and marker
    std::optional<std::string> marker;            // replaces the real marker when set
    std::vector<PackageEntry> entries;            // table records, in table order
    std::array<unsigned char, 4> end_reserved{};  // the end record's reserved bytes
    std::optional<std::string> raw_table;         // replaces records and end record verbatim
    std::string gap;                              // bytes between end record and first body
    std::string trailer;                          // bytes after the last body
};

// The package bytes for `layout`. Bodies are placed back to back after the
// table (and gap); records without an override offset point at them.
std::string build_package(const PackageLayout& layout);

// Offset of the first byte after the table marker in the package that
// build_package(layout) returns.
int32_t table_start_of(const PackageLayout& layout);

// Sets the offset of entry `entry` to the length of the package that `layout`
// gives plus `beyond`: an offset outside the package.
void point_past_end(PackageLayout& layout, size_t entry, int32_t beyond);

// The package of the layout's worked example, 3068863 bytes with ten files:
// a 35328-byte image that holds the marker's vendor half followed by a NUL at
// 27772 (a false start for the search), 1536 zero bytes of fill, the marker at
// 36864, the table from 36894 to 37043 and the bodies from there on. The
// records' offsets are 37043, 184492, 232108, 233064, 233093, 539759, 547951,
// 558703, 751484 and 3068858.
PackageLayout example_package_layout();
// The body sizes of that package, in table order.
const std::vector<int32_t>& example_package_sizes();

// `bytes` as a stream open for binary reading at offset 0, as the stub's own
// file would be; the caller closes it. Null (and a test failure) on error.
FILE* package_stream(const std::string& bytes);

// Whole-file helpers; they fail the current test (and return false / empty)
// on an I/O error.
bool write_file(const std::string& path, const std::string& bytes, unsigned mode = 0644);
std::string read_file(const std::string& path);

}  // namespace sfx_test
