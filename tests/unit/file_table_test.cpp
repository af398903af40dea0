// Loading, checking and sizing the file table, driven in-process over
// package streams.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "src/stub.h"
#include "tests/support/package_bytes.h"
#include "tests/support/package_recipe.h"
#include "tests/support/reader_fixture.h"
#include "tests/support/test_files.h"

namespace {

using sfx::test::package_recipe;
using sfx::test::recipe_behind_image;
using sfx::test::recipe_entry;

// The end record's slot, which no session hands out (entries() stops before
// it). Read, never set, by the cases that show its reserved bytes are read
// along with it and never enter a size.
const sfx::table_entry& end_slot(size_t entry_count) {
    return sfx::file_table[entry_count];
}

class FileTable : public sfx::test::reader_fixture {};

TEST_F(FileTable, LoadsTheExamplePackageWithItsDocumentedSizes) {
    ASSERT_TRUE(load(sfx::test::example_package_recipe())) << session().failure();
    const std::vector<int32_t> offsets = {37043,  184492, 232108, 233064, 233093,
                                          539759, 547951, 558703, 751484, 3068858};
    const std::vector<int32_t>& sizes = sfx::test::example_package_sizes();
    std::vector<sfx::table_entry> entries = session().entries();
    ASSERT_EQ(entries.size(), 10u);
    for (size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_EQ(entries[i].offset, offsets[i]) << "record " << i + 1;
        EXPECT_EQ(entries[i].size, sizes[i]) << "record " << i + 1;
    }
    EXPECT_STREQ(entries[1].name, "SETUP.EXE");
    EXPECT_STREQ(entries[4].name, "LICENSE1.TXT");
    EXPECT_EQ(session().package_length(), 3068863);
    // The end slot: an empty name, its reserved bytes read and never sized.
    EXPECT_EQ(end_slot(entries.size()).size, 0);
}

// ---------------------------------------------------------------------------
// Tables that must be refused before anything is written.

struct refusal {
    const char* what;
    package_recipe (*make)();
    const char* problem;  // part of the message
};

void PrintTo(const refusal& c, std::ostream* out) {
    *out << c.what;
}

package_recipe single(const std::string& name) {
    return recipe_behind_image({{name, "body", {}}});
}

// One record whose offset field holds `offset`.
package_recipe single_at(int32_t offset) {
    package_recipe recipe = single("A.TXT");
    recipe.entries[0].offset = offset;
    return recipe;
}

// `recipe` with the offset of entry `entry` outside the package by `beyond`.
package_recipe offset_past_end(package_recipe recipe, size_t entry, int32_t beyond) {
    sfx::test::point_past_end(recipe, entry, beyond);
    return recipe;
}

package_recipe raw(const std::string& table) {
    package_recipe recipe = recipe_behind_image({});
    recipe.raw_table = table;
    return recipe;
}

class RefusedTable : public FileTable, public testing::WithParamInterface<refusal> {};

TEST_P(RefusedTable, FailsWithOneLineNamingTheProblem) {
    const refusal& c = GetParam();
    EXPECT_FALSE(load(c.make()));
    std::string message = session().failure();
    EXPECT_EQ(message.rfind("Invalid file table in test.pkg: ", 0), 0u) << message;
    EXPECT_NE(message.find(c.problem), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Layout, RefusedTable,
    testing::Values(
        refusal{"thirteen records",
                [] {
                    std::vector<recipe_entry> entries;
                    for (int i = 0; i < 13; ++i)
                        entries.push_back({"F" + std::to_string(i) + ".TXT", "x", {}});
                    return recipe_behind_image(entries);
                },
                "more than 12 records"},
        refusal{"a name of 13 characters", [] { return single("ABCDEFGHI.TXT"); },
                "longer than 12 characters"},
        refusal{"a long name that runs to the end of the file",
                [] { return raw(std::string(100, 'A')); }, "longer than 12 characters"},
        refusal{"a file that ends in a name", [] { return raw("A.TXT"); }, "no end record"},
        refusal{"a file that ends in an offset", [] { return raw(std::string("A.TXT\0\x10", 7)); },
                "no end record"},
        refusal{"a file that ends after a record",
                [] { return raw(std::string("A.TXT\0", 6) + sfx::test::le32(0)); },
                "no end record"},
        refusal{"an end record cut short", [] { return raw(std::string(3, '\0')); },
                "no end record"},
        refusal{"an offset of -1", [] { return single_at(-1); }, "outside the package"},
        refusal{"the lowest offset", [] { return single_at(INT32_MIN); }, "outside the package"},
        refusal{"an offset one past the end", [] { return offset_past_end(single("A.TXT"), 0, 1); },
                "outside the package"},
        refusal{"a first offset past the end",
                [] {
                    return offset_past_end(
                        recipe_behind_image({{"A.TXT", "a", {}}, {"B.TXT", "b", {}}}), 0, 5);
                },
                "outside the package"},
        refusal{"the highest offset", [] { return single_at(INT32_MAX); }, "outside the package"},
        refusal{"an offset lower than the one before",
                [] {
                    package_recipe recipe = recipe_behind_image(
                        {{"A.TXT", "abc", {}}, {"B.TXT", "def", {}}, {"C.TXT", "", {}}});
                    int32_t a =
                        static_cast<int32_t>(sfx::test::table_start_of(recipe) + 3 * 10 + 5);
                    recipe.entries[0].offset = a;
                    recipe.entries[1].offset = a + 3;
                    recipe.entries[2].offset = a + 2;
                    return recipe;
                },
                "lower than record 2"}));

INSTANTIATE_TEST_SUITE_P(
    Names, RefusedTable,
    testing::Values(refusal{"a parent directory", [] { return single("../EVIL"); }, "name"},
                    refusal{"an absolute path", [] { return single("/tmp/x"); }, "name"},
                    refusal{"a backslash", [] { return single("..\\X"); }, "name"},
                    refusal{"a drive", [] { return single("C:X"); }, "name"},
                    refusal{"the directory itself", [] { return single("."); }, "name"},
                    refusal{"a control character", [] { return single("A\nB"); }, "name"},
                    refusal{"a trailing point", [] { return single("README."); }, "name"},
                    refusal{"a device name", [] { return single("nul.txt"); }, "name"},
                    refusal{"an unsafe name after safe ones",
                            [] {
                                return recipe_behind_image(
                                    {{"A.TXT", "a", {}}, {"B.TXT", "b", {}}, {"LPT1", "c", {}}});
                            },
                            "record 3 name"}));

// A package of 2 GiB or more cannot be described by signed 32-bit offsets.
// The file is sparse: nothing near that size is written.
TEST_F(FileTable, RefusesAPackageOf2GiBAndAcceptsOneByteLess) {
    package_recipe recipe = recipe_behind_image({{"BIG.DAT", "", {}}});
    int32_t table_start = sfx::test::table_start_of(recipe);
    for (int64_t length : {int64_t{1} << 31, (int64_t{1} << 31) - 1}) {
        SCOPED_TRACE(length);
        FILE* stream = sfx::test::byte_stream(sfx::test::build_package(recipe));
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(ftruncate(fileno(stream), static_cast<off_t>(length)), 0);
        ASSERT_TRUE(adopt_package(stream, "big.pkg"));
        ASSERT_TRUE(session().find_marker());
        ASSERT_EQ(session().table_start(), table_start);
        bool loaded = session().load_table();
        if (length == int64_t{1} << 31) {
            EXPECT_FALSE(loaded);
            EXPECT_STREQ(session().failure(),
                         "Invalid file table in big.pkg: the package file is 2 GiB or larger.\n");
        } else {
            ASSERT_TRUE(loaded) << session().failure();
            std::vector<sfx::table_entry> entries = session().entries();
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].size, INT32_MAX - entries[0].offset);
        }
    }
}

// ---------------------------------------------------------------------------
// Tables that are sound, however unusual.

struct acceptance {
    const char* what;
    package_recipe (*make)();
};

void PrintTo(const acceptance& c, std::ostream* out) {
    *out << c.what;
}

class AcceptedTable : public FileTable, public testing::WithParamInterface<acceptance> {};

TEST_P(AcceptedTable, GivesEveryEntryItsBodysOffsetAndSize) {
    package_recipe recipe = GetParam().make();
    std::string package = sfx::test::build_package(recipe);
    ASSERT_TRUE(load(package, sfx::test::table_start_of(recipe))) << session().failure();
    std::vector<sfx::table_entry> loaded = session().entries();
    ASSERT_EQ(loaded.size(), recipe.entries.size());
    for (size_t i = 0; i < loaded.size(); ++i) {
        const recipe_entry& entry = recipe.entries[i];
        EXPECT_EQ(loaded[i].name, entry.name);
        // Whatever lies after the last body belongs to it.
        std::string body = entry.body + (i + 1 == loaded.size() ? recipe.trailer : "");
        EXPECT_EQ(package.substr(static_cast<size_t>(loaded[i].offset),
                                 static_cast<size_t>(loaded[i].size)),
                  body)
            << entry.name;
    }
    EXPECT_EQ(session().package_length(), static_cast<int32_t>(package.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Layout, AcceptedTable,
    testing::Values(
        acceptance{"an empty table", [] { return recipe_behind_image({}); }},
        acceptance{"an empty table without an image",
                   [] {
                       package_recipe recipe;
                       return recipe;
                   }},
        acceptance{"twelve records",
                   [] {
                       std::vector<recipe_entry> entries;
                       for (int i = 0; i < 12; ++i)
                           entries.push_back({"FILE" + std::to_string(i) + ".TXT",
                                              std::string(static_cast<size_t>(i * 100),
                                                          static_cast<char>('a' + i)),
                                              {}});
                       return recipe_behind_image(entries);
                   }},
        acceptance{"twelve names of 12 characters",
                   [] {
                       std::vector<recipe_entry> entries;
                       for (char c = 'A'; c < 'A' + 12; ++c)
                           entries.push_back({std::string(8, c) + ".TXT", std::string(3, c), {}});
                       return recipe_behind_image(entries);
                   }},
        acceptance{"equal offsets (an empty body)",
                   [] {
                       return recipe_behind_image({{"A.TXT", "", {}}, {"B.TXT", "b", {}}});
                   }},
        acceptance{"the last offset at the end",
                   [] {
                       return recipe_behind_image({{"A.TXT", "a", {}}, {"B.TXT", "", {}}});
                   }},
        acceptance{"any reserved bytes",
                   [] {
                       package_recipe recipe =
                           recipe_behind_image({{"A.TXT", "a", {}}, {"B.TXT", "bb", {}}});
                       recipe.end_reserved = {0xFF, 0x00, 0x80, 0x7F};
                       return recipe;
                   }},
        acceptance{
            "duplicate names",
            [] {
                return recipe_behind_image({{"A.TXT", "first", {}}, {"A.TXT", "second", {}}});
            }},
        acceptance{"bytes between the table and the first body",
                   [] {
                       package_recipe recipe = recipe_behind_image({{"A.TXT", "a", {}}});
                       recipe.gap = "unused";
                       return recipe;
                   }},
        acceptance{"bytes after the last body",
                   [] {
                       package_recipe recipe =
                           recipe_behind_image({{"A.TXT", "a", {}}, {"B.TXT", "b", {}}});
                       recipe.trailer = "appended";
                       return recipe;
                   }},
        acceptance{"a marker in a body", [] {
                       return recipe_behind_image({{"A.TXT", sfx::test::table_marker() + "x", {}},
                                                   {"B.TXT", sfx::test::table_marker(), {}}});
                   }}));

TEST_F(FileTable, KeepsTheEndRecordsReservedBytesOutOfEverySize) {
    package_recipe recipe = recipe_behind_image({{"A.TXT", "abc", {}}});
    recipe.end_reserved = {0x01, 0x00, 0x00, 0x00};
    ASSERT_TRUE(load(recipe)) << session().failure();
    std::vector<sfx::table_entry> entries = session().entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, 3);
    EXPECT_EQ(end_slot(1).offset, 1);  // read along with the end record, never used
    EXPECT_EQ(end_slot(1).size, 0);
}

}  // namespace
