// Where a package's payload ends when it carries a code signature: the PE
// header's security directory, read from untrusted bytes, and its effect on
// the sizes that table loading works out.
#include "src/code_signature.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "src/stub.h"
#include "tests/support/package_bytes.h"
#include "tests/support/package_recipe.h"
#include "tests/support/reader_fixture.h"

namespace {

using sfx::test::put_le16;
using sfx::test::put_le32;

constexpr uint16_t PE32 = 0x10B;
constexpr uint16_t PE32_PLUS = 0x20B;
constexpr uint32_t NEW_HEADER = 0x80;      // where the synthetic images put "PE\0\0"
constexpr uint32_t DOS_HEADER_END = 0x40;  // the lowest place it can be

// What a synthetic image's header says; the defaults make a well-formed
// PE32 header with sixteen directories and no signature.
struct pe_header {
    uint16_t magic = PE32;
    uint32_t directory_count = 16;
    int optional_size = -1;  // -1: the standard size for the magic
    uint32_t security_offset = 0;
    uint32_t security_size = 0;
    uint32_t new_header = NEW_HEADER;
};

// Offset, within the image, of the security directory entry.
size_t security_entry(uint16_t magic, uint32_t new_header = NEW_HEADER) {
    size_t optional_header = new_header + 4 + 20;
    return optional_header + (magic == PE32_PLUS ? 112 : 96) + 4 * 8;
}

// A 512-byte image holding only the headers that payload_length reads.
std::string pe_image(const pe_header& header) {
    std::string image(512, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    put_le32(image, 0x3C, header.new_header);
    memcpy(&image[header.new_header], "PE\0\0", 4);
    int standard_size = header.magic == PE32_PLUS ? 240 : 224;
    put_le16(
        image, header.new_header + 4 + 16,
        static_cast<uint32_t>(header.optional_size < 0 ? standard_size : header.optional_size));
    size_t optional_header = header.new_header + 4 + 20;
    put_le16(image, optional_header, header.magic);
    put_le32(image, optional_header + (header.magic == PE32_PLUS ? 108 : 92),
             header.directory_count);
    size_t entry = security_entry(header.magic, header.new_header);
    put_le32(image, entry, header.security_offset);
    put_le32(image, entry + 4, header.security_size);
    return image;
}

class PayloadLength : public sfx::test::reader_fixture {
protected:
    // payload_length over `bytes` as the package file of a fresh session.
    int32_t payload_of(const std::string& bytes) {
        if (!open_package(bytes)) return -1;
        return sfx::payload_length(static_cast<int32_t>(bytes.size()));
    }
};

// An image of 512 bytes, then `tail` bytes of which the last `table` would be
// the certificate table.
struct header_case {
    const char* what;
    pe_header header;
    uint32_t tail;
    int32_t expected;  // -1: the whole file
};

TEST_F(PayloadLength, EndsWhereACertificateTableAppendedLastBegins) {
    const header_case cases[] = {
        {"PE32, table at the end", {PE32, 16, -1, 900, 124}, 512, 900},
        {"PE32+, table at the end", {PE32_PLUS, 16, -1, 1000, 24}, 512, 1000},
        {"the fewest directories that hold it", {PE32, 5, -1, 1000, 24}, 512, 1000},
        {"unsigned", {PE32, 16, -1, 0, 0}, 512, -1},
        {"table ending before the end (signed before packing)", {PE32, 16, -1, 300, 200}, 512, -1},
        {"table reaching past the end", {PE32, 16, -1, 1000, 25}, 512, -1},
        {"empty table at the end", {PE32, 16, -1, 1024, 0}, 512, -1},
        {"offset and size wrapping round to the end in 32 bits",
         {PE32, 16, -1, 0xFFFFFF00u, 1024 + 0x100},
         512,
         -1},
        {"directory not counted", {PE32, 4, -1, 1000, 24}, 512, -1},
        {"optional header too short to hold it", {PE32, 16, 96 + 4 * 8 + 4, 1000, 24}, 512, -1},
        {"unknown optional header magic", {0x107, 16, -1, 1000, 24}, 512, -1},
    };
    for (const header_case& c : cases) {
        std::string bytes = pe_image(c.header) + std::string(c.tail, 'T');
        int32_t expected = c.expected < 0 ? static_cast<int32_t>(bytes.size()) : c.expected;
        EXPECT_EQ(payload_of(bytes), expected) << c.what;
    }
}

TEST_F(PayloadLength, IsTheWholeFileForImagesThatAreNoCompletePeFile) {
    std::string signed_image = pe_image({PE32, 16, -1, 1000, 24}) + std::string(512, 'T');
    std::string no_pe_signature = signed_image;
    no_pe_signature[NEW_HEADER + 1] = 'X';
    std::string header_beyond_end = signed_image;
    put_le32(header_beyond_end, 0x3C, 0x7FFFFFF0u);
    std::string header_offset_negative = signed_image;
    put_le32(header_offset_negative, 0x3C, 0xFFFFFFF0u);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"shorter than a DOS header", "MZ"},
        {"ELF image",
         "\x7f"
         "ELF" +
             std::string(2000, '\x01')},
        {"no PE signature", no_pe_signature},
        {"PE header offset past the end", header_beyond_end},
        {"PE header offset that is negative as a signed value", header_offset_negative},
        {"file ending inside the optional header", signed_image.substr(0, NEW_HEADER + 60)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(payload_of(c.bytes), static_cast<int32_t>(c.bytes.size())) << c.what;
}

TEST_F(PayloadLength, NeverUsesBytesTheFileDidNotDeliver) {
    // The file ends just before the security directory entry. The header is
    // read twice, from the start and from the PE signature; past what the
    // second read delivers, io_buffer still holds bytes of the first, and
    // the image puts a directory entry that matches the file's length there.
    pe_header header;
    header.new_header = DOS_HEADER_END;
    size_t entry = security_entry(PE32, DOS_HEADER_END);
    std::string bytes = pe_image(header).substr(0, entry);
    size_t stale_entry = entry - DOS_HEADER_END;
    put_le32(bytes, stale_entry, 16);
    put_le32(bytes, stale_entry + 4, static_cast<uint32_t>(bytes.size() - 16));
    EXPECT_EQ(payload_of(bytes), static_cast<int32_t>(bytes.size()));
}

// ---------------------------------------------------------------------------
// Through table loading, as both the stub and the packer's list, verify and
// extract see a package.

// A package behind a PE image whose last body is "last body" and after
// which `trailer` follows; when `signed_trailer`, the image's security
// directory names the trailer as its certificate table.
struct trailed_package {
    std::string bytes;
    int32_t table_start;
};

trailed_package package_with_trailer(const std::string& trailer, bool signed_trailer) {
    sfx::test::package_recipe recipe;
    recipe.image = pe_image({PE32, 16, -1, 0, 0});
    recipe.entries = {{"README.TXT", "first body", {}}, {"SETUP.EXE", "last body", {}}};
    recipe.trailer = trailer;
    trailed_package package{sfx::test::build_package(recipe), sfx::test::table_start_of(recipe)};
    if (signed_trailer) {
        uint32_t table = static_cast<uint32_t>(package.bytes.size() - trailer.size());
        put_le32(package.bytes, security_entry(PE32), table);
        put_le32(package.bytes, security_entry(PE32) + 4, static_cast<uint32_t>(trailer.size()));
    }
    return package;
}

TEST_F(PayloadLength, ASignatureAppendedAfterPackingStaysOutOfTheLastBody) {
    const std::string certificate_table(1464, 'C');
    trailed_package package = package_with_trailer(certificate_table, true);
    ASSERT_TRUE(load(package.bytes, package.table_start)) << session().failure();
    std::vector<sfx::table_entry> entries = session().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].size, static_cast<int32_t>(strlen("first body")));
    EXPECT_EQ(entries[1].size, static_cast<int32_t>(strlen("last body")));
    EXPECT_EQ(session().package_length(),
              static_cast<int32_t>(package.bytes.size() - certificate_table.size()));
}

TEST_F(PayloadLength, BytesAppendedToAnUnsignedPackageStillJoinTheLastBody) {
    const std::string appended = "appended later";
    trailed_package package = package_with_trailer(appended, false);
    ASSERT_TRUE(load(package.bytes, package.table_start)) << session().failure();
    std::vector<sfx::table_entry> entries = session().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].size, static_cast<int32_t>(strlen("first body")));
    EXPECT_EQ(entries[1].size, static_cast<int32_t>(strlen("last body") + appended.size()));
    EXPECT_EQ(session().package_length(), static_cast<int32_t>(package.bytes.size()));
}

}  // namespace
