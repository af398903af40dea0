// Writing the output files of a loaded table, driven in-process over package
// streams, in a directory of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "src/stub.h"
#include "tests/support/package_recipe.h"
#include "tests/support/reader_fixture.h"
#include "tests/support/temp_directory.h"
#include "tests/support/test_files.h"

namespace {

using sfx::test::package_recipe;
using sfx::test::recipe_behind_image;

// Runs in a fresh directory, the current one for the test's duration, where
// the session writes its files.
//
// The cases read sfx::output_stream, which no session exposes, to show that
// no output file is left open after the steps return, whether they succeeded
// or not. Only read, never set.
class OutputFiles : public sfx::test::writing_reader_fixture {
protected:
    static bool exists(const char* name) { return access(name, F_OK) == 0; }
};

TEST_F(OutputFiles, WritesEveryBodyWholeAndTheLaterOfTwoNamesWins) {
    package_recipe recipe = recipe_behind_image({{"ONE.BIN", std::string(4096, '1'), {}},
                                                 {"TWO.BIN", std::string(4097, '2'), {}},
                                                 {"EMPTY.TXT", "", {}},
                                                 {"TWICE.TXT", "the earlier body, longer", {}},
                                                 {"TWICE.TXT", "later", {}},
                                                 {"OLD.TXT", "new", {}}});
    ASSERT_TRUE(sfx::test::write_file("OLD.TXT", std::string(10000, 'o')));
    ASSERT_TRUE(sfx::test::write_file("EMPTY.TXT", "was here"));
    ASSERT_TRUE(load(recipe)) << session().failure();
    ASSERT_TRUE(session().write_files()) << session().failure();
    EXPECT_EQ(sfx::test::read_file("ONE.BIN"), std::string(4096, '1'));
    EXPECT_EQ(sfx::test::read_file("TWO.BIN"), std::string(4097, '2'));
    EXPECT_EQ(sfx::test::read_file("EMPTY.TXT"), "");
    EXPECT_EQ(sfx::test::read_file("TWICE.TXT"), "later");
    EXPECT_EQ(sfx::test::read_file("OLD.TXT"), "new");
    EXPECT_EQ(sfx::output_stream, nullptr);
}

// A table that passed the checks cannot point past the file's end, but the
// file can still shrink, or a read fail, between the check and the copy.
TEST_F(OutputFiles, RemovesAFileWhoseBodyCannotBeReadWhole) {
    package_recipe recipe =
        recipe_behind_image({{"FIRST.TXT", "complete", {}}, {"SECOND.TXT", "cut", {}}});
    std::string package = sfx::test::build_package(recipe);
    ASSERT_TRUE(load(package, sfx::test::table_start_of(recipe))) << session().failure();
    // The package is cut short after the check: two of the last body's three
    // bytes are gone.
    ASSERT_EQ(ftruncate(fileno(package_stream()), static_cast<off_t>(package.size() - 2)), 0);
    EXPECT_FALSE(session().write_files());
    EXPECT_STREQ(session().failure(),
                 "Unable to read the contents of SECOND.TXT from the package.\n");
    EXPECT_EQ(sfx::test::read_file("FIRST.TXT"), "complete");
    EXPECT_FALSE(exists("SECOND.TXT"));
    EXPECT_EQ(sfx::output_stream, nullptr);
}

TEST_F(OutputFiles, StopsAtAFileThatCannotBeOpened) {
    package_recipe recipe = recipe_behind_image(
        {{"FIRST.TXT", "one", {}}, {"SECOND.TXT", "two", {}}, {"THIRD.TXT", "three", {}}});
    ASSERT_EQ(mkdir("SECOND.TXT", 0755), 0);
    ASSERT_TRUE(load(recipe)) << session().failure();
    EXPECT_FALSE(session().write_files());
    EXPECT_STREQ(session().failure(), "Unable to open output file SECOND.TXT.\n");
    EXPECT_EQ(sfx::test::read_file("FIRST.TXT"), "one");
    EXPECT_FALSE(exists("THIRD.TXT"));
    struct stat info;
    EXPECT_TRUE(stat("SECOND.TXT", &info) == 0 && S_ISDIR(info.st_mode))
        << "the directory was removed";
}

}  // namespace
