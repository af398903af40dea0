// Loading, checking and sizing the file table, and writing the output files,
// driven in-process over package streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "package_reader.h"
#include "stub.h"
#include "support/package_builder.h"
#include "support/reader_test.h"

namespace {

using sfx_test::PackageEntry;
using sfx_test::PackageLayout;

// A small image in front of every table, so that offsets are not trivially 0.
PackageLayout layout_of(std::vector<PackageEntry> entries) {
    PackageLayout layout;
    layout.image = std::string(300, 'I');
    layout.entries = std::move(entries);
    return layout;
}

class FileTable : public sfx_test::ReaderTest {
protected:
    using ReaderTest::load;

    bool load(const PackageLayout& layout) {
        return load(sfx_test::build_package(layout), sfx_test::table_start_of(layout));
    }

    // The loaded entries, up to the end slot.
    static std::vector<const sfx::table_entry*> entries() {
        std::vector<const sfx::table_entry*> loaded;
        for (int slot = 0; slot < sfx::FILE_TABLE_SLOTS && sfx::file_table[slot].name[0]; ++slot)
            loaded.push_back(&sfx::file_table[slot]);
        return loaded;
    }
};

TEST_F(FileTable, LoadsTheExamplePackageWithItsDocumentedSizes) {
    ASSERT_TRUE(load(sfx_test::example_package_layout())) << sfx::failure_text;
    const std::vector<int32_t> offsets = {37043,  184492, 232108, 233064, 233093,
                                          539759, 547951, 558703, 751484, 3068858};
    const std::vector<int32_t>& sizes = sfx_test::example_package_sizes();
    ASSERT_EQ(entries().size(), 10u);
    for (size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_EQ(sfx::file_table[i].offset, offsets[i]) << "record " << i + 1;
        EXPECT_EQ(sfx::file_table[i].size, sizes[i]) << "record " << i + 1;
    }
    EXPECT_STREQ(sfx::file_table[1].name, "SETUP.EXE");
    EXPECT_STREQ(sfx::file_table[4].name, "LICENSE1.TXT");
    EXPECT_EQ(sfx::base_offset, 3068863);  // the package's length
    // The end slot: an empty name, its reserved bytes read and never sized.
    EXPECT_EQ(sfx::file_table[10].size, 0);
}

// ---------------------------------------------------------------------------
// Tables that must be refused before anything is written.

struct Refusal {
    const char* what;
    PackageLayout (*make)();
    const char* problem;  // part of the message
};

void PrintTo(const Refusal& c, std::ostream* out) { *out << c.what; }

PackageLayout single(const std::string& name) { return layout_of({{name, "body", {}}}); }

// One record whose offset field holds `offset`.
PackageLayout single_at(int32_t offset) {
    PackageLayout layout = single("A.TXT");
    layout.entries[0].offset = offset;
    return layout;
}

// `layout` with the offset of entry `entry` outside the package by `beyond`.
PackageLayout offset_past_end(PackageLayout layout, size_t entry, int32_t beyond) {
    sfx_test::point_past_end(layout, entry, beyond);
    return layout;
}

std::string le32(int32_t value) {
    std::string bytes;
    sfx_test::append_le32(bytes, value);
    return bytes;
}

PackageLayout raw(const std::string& table) {
    PackageLayout layout = layout_of({});
    layout.raw_table = table;
    return layout;
}

class RefusedTable : public FileTable, public testing::WithParamInterface<Refusal> {};

TEST_P(RefusedTable, FailsWithOneLineNamingTheProblem) {
    const Refusal& c = GetParam();
    EXPECT_FALSE(load(c.make()));
    std::string message = sfx::failure_text;
    EXPECT_EQ(message.rfind("Invalid file table in test.pkg: ", 0), 0u) << message;
    EXPECT_NE(message.find(c.problem), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Layout, RefusedTable,
    testing::Values(
        Refusal{"thirteen records",
                [] {
                    std::vector<PackageEntry> entries;
                    for (int i = 0; i < 13; ++i)
                        entries.push_back({"F" + std::to_string(i) + ".TXT", "x", {}});
                    return layout_of(entries);
                },
                "more than 12 records"},
        Refusal{"a name of 13 characters", [] { return single("ABCDEFGHI.TXT"); },
                "longer than 12 characters"},
        Refusal{"a long name that runs to the end of the file",
                [] { return raw(std::string(100, 'A')); }, "longer than 12 characters"},
        Refusal{"a file that ends in a name", [] { return raw("A.TXT"); }, "no end record"},
        Refusal{"a file that ends in an offset", [] { return raw(std::string("A.TXT\0\x10", 7)); },
                "no end record"},
        Refusal{"a file that ends after a record",
                [] { return raw(std::string("A.TXT\0", 6) + le32(0)); }, "no end record"},
        Refusal{"an end record cut short", [] { return raw(std::string(3, '\0')); },
                "no end record"},
        Refusal{"an offset of -1", [] { return single_at(-1); }, "outside the package"},
        Refusal{"the lowest offset", [] { return single_at(INT32_MIN); }, "outside the package"},
        Refusal{"an offset one past the end", [] { return offset_past_end(single("A.TXT"), 0, 1); },
                "outside the package"},
        Refusal{
            "a first offset past the end",
            [] {
                return offset_past_end(layout_of({{"A.TXT", "a", {}}, {"B.TXT", "b", {}}}), 0, 5);
            },
            "outside the package"},
        Refusal{"the highest offset", [] { return single_at(INT32_MAX); }, "outside the package"},
        Refusal{"an offset lower than the one before",
                [] {
                    PackageLayout layout =
                        layout_of({{"A.TXT", "abc", {}}, {"B.TXT", "def", {}}, {"C.TXT", "", {}}});
                    int32_t a = static_cast<int32_t>(sfx_test::table_start_of(layout) + 3 * 10 + 5);
                    layout.entries[0].offset = a;
                    layout.entries[1].offset = a + 3;
                    layout.entries[2].offset = a + 2;
                    return layout;
                },
                "lower than record 2"}));

INSTANTIATE_TEST_SUITE_P(
    Names, RefusedTable,
    testing::Values(
        Refusal{"a parent directory", [] { return single("../EVIL"); }, "name"},
        Refusal{"an absolute path", [] { return single("/tmp/x"); }, "name"},
        Refusal{"a backslash", [] { return single("..\\X"); }, "name"},
        Refusal{"a drive", [] { return single("C:X"); }, "name"},
        Refusal{"the directory itself", [] { return single("."); }, "name"},
        Refusal{"a control character", [] { return single("A\nB"); }, "name"},
        Refusal{"a trailing point", [] { return single("README."); }, "name"},
        Refusal{"a device name", [] { return single("nul.txt"); }, "name"},
        Refusal{"an unsafe name after safe ones",
                [] {
                    return layout_of({{"A.TXT", "a", {}}, {"B.TXT", "b", {}}, {"LPT1", "c", {}}});
                },
                "record 3 name"}));

// A package of 2 GiB or more cannot be described by signed 32-bit offsets.
// The file is sparse: nothing near that size is written.
TEST_F(FileTable, RefusesAPackageOf2GiBAndAcceptsOneByteLess) {
    PackageLayout layout = layout_of({{"BIG.DAT", "", {}}});
    int32_t table_start = sfx_test::table_start_of(layout);
    for (int64_t length : {int64_t{1} << 31, (int64_t{1} << 31) - 1}) {
        SCOPED_TRACE(length);
        close_package();
        sfx::image_stream = sfx_test::package_stream(sfx_test::build_package(layout));
        ASSERT_NE(sfx::image_stream, nullptr);
        ASSERT_EQ(ftruncate(fileno(sfx::image_stream), static_cast<off_t>(length)), 0);
        sfx::package_path = "big.pkg";
        bool loaded = sfx::load_valid_file_table(table_start);
        if (length == int64_t{1} << 31) {
            EXPECT_FALSE(loaded);
            EXPECT_STREQ(sfx::failure_text,
                         "Invalid file table in big.pkg: the package file is 2 GiB or larger.\n");
        } else {
            ASSERT_TRUE(loaded) << sfx::failure_text;
            EXPECT_EQ(sfx::file_table[0].size, INT32_MAX - sfx::file_table[0].offset);
        }
    }
}

// ---------------------------------------------------------------------------
// Tables that are sound, however unusual.

struct Acceptance {
    const char* what;
    PackageLayout (*make)();
};

void PrintTo(const Acceptance& c, std::ostream* out) { *out << c.what; }

class AcceptedTable : public FileTable, public testing::WithParamInterface<Acceptance> {};

TEST_P(AcceptedTable, GivesEveryEntryItsBodysOffsetAndSize) {
    PackageLayout layout = GetParam().make();
    std::string package = sfx_test::build_package(layout);
    ASSERT_TRUE(load(package, sfx_test::table_start_of(layout))) << sfx::failure_text;
    auto loaded = entries();
    ASSERT_EQ(loaded.size(), layout.entries.size());
    for (size_t i = 0; i < loaded.size(); ++i) {
        const PackageEntry& entry = layout.entries[i];
        EXPECT_EQ(loaded[i]->name, entry.name);
        // Whatever lies after the last body belongs to it.
        std::string body = entry.body + (i + 1 == loaded.size() ? layout.trailer : "");
        EXPECT_EQ(package.substr(static_cast<size_t>(loaded[i]->offset),
                                 static_cast<size_t>(loaded[i]->size)),
                  body)
            << entry.name;
    }
    EXPECT_EQ(sfx::base_offset, static_cast<int32_t>(package.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Layout, AcceptedTable,
    testing::Values(
        Acceptance{"an empty table", [] { return layout_of({}); }},
        Acceptance{"an empty table without an image",
                   [] {
                       PackageLayout layout;
                       return layout;
                   }},
        Acceptance{"twelve records",
                   [] {
                       std::vector<PackageEntry> entries;
                       for (int i = 0; i < 12; ++i)
                           entries.push_back({"FILE" + std::to_string(i) + ".TXT",
                                              std::string(static_cast<size_t>(i * 100),
                                                          static_cast<char>('a' + i)),
                                              {}});
                       return layout_of(entries);
                   }},
        Acceptance{"twelve names of 12 characters",
                   [] {
                       std::vector<PackageEntry> entries;
                       for (char c = 'A'; c < 'A' + 12; ++c)
                           entries.push_back({std::string(8, c) + ".TXT", std::string(3, c), {}});
                       return layout_of(entries);
                   }},
        Acceptance{"equal offsets (an empty body)",
                   [] {
                       return layout_of({{"A.TXT", "", {}}, {"B.TXT", "b", {}}});
                   }},
        Acceptance{"the last offset at the end",
                   [] {
                       return layout_of({{"A.TXT", "a", {}}, {"B.TXT", "", {}}});
                   }},
        Acceptance{"any reserved bytes",
                   [] {
                       PackageLayout layout = layout_of({{"A.TXT", "a", {}}, {"B.TXT", "bb", {}}});
                       layout.end_reserved = {0xFF, 0x00, 0x80, 0x7F};
                       return layout;
                   }},
        Acceptance{"duplicate names",
                   [] {
                       return layout_of({{"A.TXT", "first", {}}, {"A.TXT", "second", {}}});
                   }},
        Acceptance{"bytes between the table and the first body",
                   [] {
                       PackageLayout layout = layout_of({{"A.TXT", "a", {}}});
                       layout.gap = "unused";
                       return layout;
                   }},
        Acceptance{"bytes after the last body",
                   [] {
                       PackageLayout layout = layout_of({{"A.TXT", "a", {}}, {"B.TXT", "b", {}}});
                       layout.trailer = "appended";
                       return layout;
                   }},
        Acceptance{"a marker in a body", [] {
                       return layout_of({{"A.TXT", sfx_test::table_marker() + "x", {}},
                                         {"B.TXT", sfx_test::table_marker(), {}}});
                   }}));

TEST_F(FileTable, KeepsTheEndRecordsReservedBytesOutOfEverySize) {
    PackageLayout layout = layout_of({{"A.TXT", "abc", {}}});
    layout.end_reserved = {0x01, 0x00, 0x00, 0x00};
    ASSERT_TRUE(load(layout)) << sfx::failure_text;
    EXPECT_EQ(sfx::file_table[0].size, 3);
    EXPECT_EQ(sfx::file_table[1].offset, 1);  // read along with the end record, never used
    EXPECT_EQ(sfx::file_table[1].size, 0);
}

// ---------------------------------------------------------------------------
// Writing the output files, in a directory of the test's own.

class OutputFiles : public FileTable {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sfx-output-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
        ASSERT_EQ(chdir(directory_.c_str()), 0);
    }

    void TearDown() override {
        FileTable::TearDown();
        EXPECT_EQ(chdir(previous_), 0);
        std::string command = "rm -rf '" + directory_ + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }

    static bool exists(const char* name) { return access(name, F_OK) == 0; }

    std::string directory_;
    char previous_[PATH_MAX] = {};
};

TEST_F(OutputFiles, WritesEveryBodyWholeAndTheLaterOfTwoNamesWins) {
    PackageLayout layout = layout_of({{"ONE.BIN", std::string(4096, '1'), {}},
                                      {"TWO.BIN", std::string(4097, '2'), {}},
                                      {"EMPTY.TXT", "", {}},
                                      {"TWICE.TXT", "the earlier body, longer", {}},
                                      {"TWICE.TXT", "later", {}},
                                      {"OLD.TXT", "new", {}}});
    ASSERT_TRUE(sfx_test::write_file("OLD.TXT", std::string(10000, 'o')));
    ASSERT_TRUE(sfx_test::write_file("EMPTY.TXT", "was here"));
    ASSERT_TRUE(load(layout)) << sfx::failure_text;
    ASSERT_TRUE(sfx::write_output_files()) << sfx::failure_text;
    EXPECT_EQ(sfx_test::read_file("ONE.BIN"), std::string(4096, '1'));
    EXPECT_EQ(sfx_test::read_file("TWO.BIN"), std::string(4097, '2'));
    EXPECT_EQ(sfx_test::read_file("EMPTY.TXT"), "");
    EXPECT_EQ(sfx_test::read_file("TWICE.TXT"), "later");
    EXPECT_EQ(sfx_test::read_file("OLD.TXT"), "new");
    EXPECT_EQ(sfx::output_stream, nullptr);
}

// A table that passed the checks cannot point past the file's end, but the
// file can still shrink, or a read fail, between the check and the copy.
TEST_F(OutputFiles, RemovesAFileWhoseBodyCannotBeReadWhole) {
    PackageLayout layout = layout_of({{"FIRST.TXT", "complete", {}}, {"SECOND.TXT", "cut", {}}});
    ASSERT_TRUE(load(layout)) << sfx::failure_text;
    sfx::file_table[1].size += 5000;  // as if the package had been cut short
    EXPECT_FALSE(sfx::write_output_files());
    EXPECT_STREQ(sfx::failure_text,
                 "Unable to read the contents of SECOND.TXT from the package.\n");
    EXPECT_EQ(sfx_test::read_file("FIRST.TXT"), "complete");
    EXPECT_FALSE(exists("SECOND.TXT"));
    EXPECT_EQ(sfx::output_stream, nullptr);
}

TEST_F(OutputFiles, StopsAtAFileThatCannotBeOpened) {
    PackageLayout layout = layout_of(
        {{"FIRST.TXT", "one", {}}, {"SECOND.TXT", "two", {}}, {"THIRD.TXT", "three", {}}});
    ASSERT_EQ(mkdir("SECOND.TXT", 0755), 0);
    ASSERT_TRUE(load(layout)) << sfx::failure_text;
    EXPECT_FALSE(sfx::write_output_files());
    EXPECT_STREQ(sfx::failure_text, "Unable to open output file SECOND.TXT.\n");
    EXPECT_EQ(sfx_test::read_file("FIRST.TXT"), "one");
    EXPECT_FALSE(exists("THIRD.TXT"));
    struct stat info;
    EXPECT_TRUE(stat("SECOND.TXT", &info) == 0 && S_ISDIR(info.st_mode))
        << "the directory was removed";
}

}  // namespace
