// The integrity record: its bytes as the codec writes and reads them, and
// what the reading steps make of a package that carries one.
#include "src/integrity_record.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "src/body_checksum.h"
#include "src/stub.h"
#include "tests/support/package_bytes.h"
#include "tests/support/package_recipe.h"
#include "tests/support/reader_fixture.h"
#include "tests/support/temp_directory.h"
#include "tests/support/test_files.h"

namespace {

using sfx::integrity_record;
using sfx::integrity_state;
using sfx::test::package_recipe;
using sfx::test::recipe_entry;

using record_bytes = std::vector<unsigned char>;

record_bytes encoded(const integrity_record& record) {
    record_bytes bytes(sfx::INTEGRITY_RECORD_SIZE);
    sfx::encode_integrity_record(record, bytes.data());
    return bytes;
}

integrity_state decoded(const record_bytes& bytes, integrity_record* record = nullptr) {
    integrity_record scratch{};
    return sfx::decode_integrity_record(bytes.data(), record != nullptr ? *record : scratch);
}

// Stores `value` low byte first in `width` bytes at `at`, by hand.
void put_field(record_bytes& bytes, size_t at, size_t width, uint64_t value) {
    for (size_t i = 0; i < width; ++i)
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// Renews the record's own checksum over its first 128 bytes, so that a
// changed field is judged for its value, not caught by the checksum.
void reseal(record_bytes& bytes) {
    put_field(bytes, 128, 8, sfx::checksum_of(bytes.data(), 128));
}

integrity_record three_entries() {
    integrity_record record{};
    record.entry_count = 3;
    record.package_length = 0x01234567;
    record.table_checksum = 0x1122334455667788;
    record.checksums[0] = 0x0807060504030201;
    record.checksums[1] = 0xF8F7F6F5F4F3F2F1;
    record.checksums[2] = 0x8070605040302010;
    return record;
}

void expect_same(const integrity_record& got, const integrity_record& expected) {
    EXPECT_EQ(got.entry_count, expected.entry_count);
    EXPECT_EQ(got.package_length, expected.package_length);
    EXPECT_EQ(got.table_checksum, expected.table_checksum);
    for (int entry = 0; entry < sfx::MAX_TABLE_ENTRIES; ++entry)
        EXPECT_EQ(got.checksums[entry], expected.checksums[entry]) << "entry " << entry;
}

// Written out by hand from the documented layout, the own checksum worked
// out once with the xxHash library itself: the encoder and the decoder could
// agree on a wrong field order, or another checksum, and still round-trip.
TEST(IntegrityRecordCodec, WritesTheDocumentedBytes) {
    record_bytes expected = {
        'S',  'F',  'X',  'I',  'N',  'T',  'E',  'G',   // magic
        0x01, 0x00,                                      // version 1
        0x88, 0x00,                                      // record size 136
        0x03, 0x00, 0x00, 0x00,                          // entry count
        0x67, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x00,  // package length
        0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,  // table checksum
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,  // body 1
        0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8,  // body 2
        0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80,  // body 3
    };
    expected.resize(128, 0x00);  // no checksum past the count
    const record_bytes own_checksum = {0xB2, 0xFC, 0xB8, 0xCD, 0xCA, 0x7C, 0xC4, 0x92};
    expected.insert(expected.end(), own_checksum.begin(), own_checksum.end());  // XXH3-64
    ASSERT_EQ(expected.size(), static_cast<size_t>(sfx::INTEGRITY_RECORD_SIZE));

    EXPECT_EQ(encoded(three_entries()), expected);
    integrity_record read{};
    EXPECT_EQ(decoded(expected, &read), integrity_state::valid);
    expect_same(read, three_entries());
}

TEST(IntegrityRecordCodec, RoundTripsTheLimits) {
    integrity_record empty{};
    integrity_record full{};
    full.entry_count = sfx::MAX_TABLE_ENTRIES;
    full.package_length = INT32_MAX;  // the longest package there is
    full.table_checksum = UINT64_MAX;
    for (int entry = 0; entry < sfx::MAX_TABLE_ENTRIES; ++entry)
        full.checksums[entry] = 0x0101010101010101 * static_cast<uint64_t>(entry + 1);
    for (const integrity_record& record : {empty, full, three_entries()}) {
        SCOPED_TRACE(record.entry_count);
        integrity_record read{};
        ASSERT_EQ(decoded(encoded(record), &read), integrity_state::valid);
        expect_same(read, record);
    }
}

// A flipped bit anywhere: in the magic the record is not there at all, in
// the version it is one this code does not know, anywhere else its own
// checksum fails.
TEST(IntegrityRecordCodec, TellsEveryFlippedByteByWhereItLies) {
    const record_bytes sound = encoded(three_entries());
    for (size_t at = 0; at < sound.size(); ++at) {
        record_bytes bytes = sound;
        bytes[at] ^= 0x04;
        const integrity_state expected = at < 8    ? integrity_state::absent
                                         : at < 10 ? integrity_state::unknown_version
                                                   : integrity_state::damaged;
        EXPECT_EQ(decoded(bytes), expected) << "byte " << at;
    }
}

// Fields whose values are wrong under a sound own checksum.
struct field_case {
    const char* what;
    size_t at;
    size_t width;
    uint64_t value;
    integrity_state expected;
};

void PrintTo(const field_case& c, std::ostream* out) {
    *out << c.what;
}

class IntegrityRecordField : public testing::TestWithParam<field_case> {};

TEST_P(IntegrityRecordField, IsJudgedByItsValue) {
    record_bytes bytes = encoded(three_entries());
    put_field(bytes, GetParam().at, GetParam().width, GetParam().value);
    reseal(bytes);
    EXPECT_EQ(decoded(bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, IntegrityRecordField,
    testing::Values(
        field_case{"version 2", 8, 2, 2, integrity_state::unknown_version},
        field_case{"version 0", 8, 2, 0, integrity_state::unknown_version},
        field_case{"a size of 137", 10, 2, 137, integrity_state::damaged},
        field_case{"13 entries", 12, 4, 13, integrity_state::damaged},
        // Negative, were the count read as signed.
        field_case{"a count of 2^32 - 1", 12, 4, UINT32_MAX, integrity_state::damaged},
        field_case{"12 entries, checksums of zero", 12, 4, 12, integrity_state::valid},
        field_case{"a length of 2 GiB", 16, 8, uint64_t{1} << 31, integrity_state::damaged},
        // Negative were it read as signed, zero were it cut to 32 bits.
        field_case{"a length of 2^63", 16, 8, uint64_t{1} << 63, integrity_state::damaged},
        field_case{"a length one under 2 GiB", 16, 8, (uint64_t{1} << 31) - 1,
                   integrity_state::valid},
        field_case{"a checksum just past the count", 32 + 3 * 8, 8, 1, integrity_state::damaged},
        field_case{"a checksum in the last slot", 32 + 11 * 8, 1, 0x80, integrity_state::damaged}));

// ---------------------------------------------------------------------------
// The reading steps over packages that carry a record.

// A package behind an image and a record that tells the truth about it: its
// length, the checksum of its table (records and end record) and of each
// body, worked out here from the recipe.
struct recorded_package {
    package_recipe recipe;
    integrity_record record{};

    explicit recorded_package(std::vector<recipe_entry> entries)
        : recipe(sfx::test::recipe_behind_image(std::move(entries))) {
        recipe.fill.assign(sfx::INTEGRITY_RECORD_SIZE, '\0');  // the record's room
        const std::string bytes = sfx::test::build_package(recipe);
        size_t table_size = sfx::END_RECORD_SIZE;
        for (const recipe_entry& entry : recipe.entries)
            table_size += entry.name.size() + 1 + sfx::OFFSET_FIELD_SIZE;
        record.entry_count = static_cast<uint32_t>(recipe.entries.size());
        record.package_length = static_cast<int64_t>(bytes.size());
        record.table_checksum = checksum(
            bytes.substr(static_cast<size_t>(sfx::test::table_start_of(recipe)), table_size));
        for (size_t i = 0; i < recipe.entries.size(); ++i)
            record.checksums[i] = checksum(recipe.entries[i].body);
    }

    static uint64_t checksum(const std::string& bytes) {
        return sfx::checksum_of(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }

    // The package with the record, as it is now, in front of its marker.
    std::string bytes() const {
        package_recipe sealed = recipe;
        const record_bytes encoded_record = encoded(record);
        sealed.fill.assign(encoded_record.begin(), encoded_record.end());
        return sfx::test::build_package(sealed);
    }
};

recorded_package three_files() {
    return recorded_package({{"A.TXT", "first body", {}},
                             {"B.BIN", std::string(5000, 'b'), {}},
                             {"C.TXT", "last", {}}});
}

// Runs in a fresh directory, the current one for the test's duration, where
// the session writes its files.
class IntegrityReading : public sfx::test::writing_reader_fixture {
protected:
    bool load(const recorded_package& package) {
        return reader_fixture::load(package.bytes(), sfx::test::table_start_of(package.recipe));
    }

    std::vector<std::string> written() const { return sfx::test::directory_names(directory()); }
};

TEST_F(IntegrityReading, LoadsAPackageItsRecordDescribesAndWritesEveryFile) {
    const recorded_package package = three_files();
    ASSERT_TRUE(load(package)) << session().failure();
    ASSERT_TRUE(session().has_integrity_record());
    expect_same(session().integrity(), package.record);
    ASSERT_TRUE(session().write_files()) << session().failure();
    EXPECT_EQ(written(), (std::vector<std::string>{"A.TXT", "B.BIN", "C.TXT"}));
    EXPECT_EQ(sfx::test::read_file("B.BIN"), std::string(5000, 'b'));
}

// Whatever lies where a record would lie without its magic is fill, as in
// every package made before the record existed.
TEST_F(IntegrityReading, ReadsAPackageWithoutARecordAsBefore) {
    recorded_package package = three_files();
    package.recipe.fill = "SFXINTEF" + std::string(sfx::INTEGRITY_RECORD_SIZE - 8, '\xFF');
    package.recipe.trailer = " and more";
    ASSERT_TRUE(reader_fixture::load(package.recipe)) << session().failure();
    EXPECT_FALSE(session().has_integrity_record());
    ASSERT_TRUE(session().write_files()) << session().failure();
    EXPECT_EQ(sfx::test::read_file("C.TXT"), "last and more");
}

// A package that disagrees with its record is refused whole, before a file
// is written; the line says how it disagrees.
struct disagreement {
    const char* what;
    void (*change)(recorded_package&);
    // After "Invalid file table in test.pkg: ", given the recorded length.
    std::string (*problem)(int64_t recorded_length);
};

void PrintTo(const disagreement& c, std::ostream* out) {
    *out << c.what;
}

class IntegrityDisagreement : public IntegrityReading,
                              public testing::WithParamInterface<disagreement> {};

TEST_P(IntegrityDisagreement, RefusesThePackageWithOneLine) {
    recorded_package package = three_files();
    const int64_t recorded_length = package.record.package_length;
    GetParam().change(package);
    EXPECT_FALSE(load(package));
    EXPECT_EQ(session().failure(),
              "Invalid file table in test.pkg: " + GetParam().problem(recorded_length) + ".\n");
}

std::string table_mismatch(int64_t) {
    return "its table does not match the integrity record (a damaged file?)";
}

INSTANTIATE_TEST_SUITE_P(
    EachField, IntegrityDisagreement,
    testing::Values(
        disagreement{"a byte missing at the end",
                     [](recorded_package& p) { p.recipe.entries.back().body.pop_back(); },
                     [](int64_t length) {
                         return "the package is " + std::to_string(length - 1) + " bytes, " +
                                std::to_string(length) + " expected (an incomplete download?)";
                     }},
        disagreement{"a byte appended", [](recorded_package& p) { p.recipe.trailer = "x"; },
                     [](int64_t length) {
                         return "the package is " + std::to_string(length + 1) + " bytes, " +
                                std::to_string(length) + " expected (bytes added after packing?)";
                     }},
        // A name still sound, which only the record tells from the packed one.
        disagreement{"a letter of a name in another case",
                     [](recorded_package& p) { p.recipe.entries[1].name = "b.BIN"; },
                     table_mismatch},
        disagreement{"an offset one higher",
                     [](recorded_package& p) {
                         p.recipe.entries[2].offset =
                             static_cast<int32_t>(p.record.package_length) - 3;
                     },
                     table_mismatch},
        disagreement{"the end record's reserved bytes",
                     [](recorded_package& p) {
                         p.recipe.end_reserved = {0, 0, 0, 1};
                     },
                     table_mismatch},
        // The table matches its checksum: only the count tells.
        disagreement{"a count of one entry less",
                     [](recorded_package& p) {
                         p.record.entry_count = 2;
                         p.record.checksums[2] = 0;
                     },
                     table_mismatch}));

// Cases that change the record's bytes themselves rather than its values.
TEST_F(IntegrityReading, RefusesADamagedRecordOrOneOfAnUnknownVersion) {
    const recorded_package package = three_files();
    const std::string sound = package.bytes();
    const size_t record_at = package.recipe.image.size();
    struct {
        size_t at;
        unsigned char flip;
        const char* problem;
    } const cases[] = {
        {record_at + 16, 0x01, "its integrity record is damaged"},
        {record_at + 135, 0x80, "its integrity record is damaged"},
        {record_at + 8, 0x03,
         "its integrity record has version 2, which this program does not know"},
        {record_at + 9, 0x01,
         "its integrity record has version 257, which this program does not know"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at - record_at);
        std::string bytes = sound;
        bytes[c.at] = static_cast<char>(bytes[c.at] ^ c.flip);
        EXPECT_FALSE(reader_fixture::load(bytes, sfx::test::table_start_of(package.recipe)));
        EXPECT_EQ(session().failure(),
                  std::string("Invalid file table in test.pkg: ") + c.problem + ".\n");
    }
}

// A body is checked as it is copied: the files before it stay, it is never
// renamed into place (an earlier file of its name survives), and no
// temporary file is left.
TEST_F(IntegrityReading, StopsAtABodyWhoseChecksumFails) {
    const recorded_package package = three_files();
    std::string bytes = package.bytes();
    const size_t b_body = bytes.size() - 4 - 5000;
    bytes[b_body + 4096] ^= 0x10;  // in the second block of B.BIN
    ASSERT_TRUE(sfx::test::write_file("B.BIN", "an earlier B.BIN"));
    ASSERT_TRUE(reader_fixture::load(bytes, sfx::test::table_start_of(package.recipe)))
        << session().failure();
    EXPECT_FALSE(session().write_files());
    EXPECT_STREQ(session().failure(),
                 "The contents of B.BIN in test.pkg are damaged (a checksum does not match).\n");
    EXPECT_EQ(written(), (std::vector<std::string>{"A.TXT", "B.BIN"}));
    EXPECT_EQ(sfx::test::read_file("A.TXT"), "first body");
    EXPECT_EQ(sfx::test::read_file("B.BIN"), "an earlier B.BIN");
    EXPECT_EQ(sfx::output_stream, nullptr);
}

// check_body, which verify runs, finds the same body by itself and no other.
TEST_F(IntegrityReading, ChecksEachBodyOnItsOwn) {
    const recorded_package package = three_files();
    std::string bytes = package.bytes();
    bytes[bytes.size() - 1] ^= 0x01;  // the last byte of C.TXT
    ASSERT_TRUE(open_package(bytes));
    ASSERT_TRUE(session().find_marker());
    ASSERT_TRUE(session().read_table()) << session().failure();
    session().size_table();
    EXPECT_TRUE(session().check_body(0)) << session().failure();
    EXPECT_TRUE(session().check_body(1)) << session().failure();
    EXPECT_FALSE(session().check_body(2));
    EXPECT_STREQ(session().failure(),
                 "The contents of C.TXT in test.pkg are damaged (a checksum does not match).\n");
}

}  // namespace
