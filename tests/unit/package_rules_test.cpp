// The packer's own rules beyond the stub's table check: no two names that
// Windows takes for one file, and SETUP.EXE among the names.
#include "tools/package_rules.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace {

struct duplicate_case {
    const char* what;
    std::vector<std::string> names;
    bool found;
    size_t first;   // when found
    size_t second;  // when found
};

void PrintTo(const duplicate_case& c, std::ostream* out) {
    *out << c.what;
}

class CaseDuplicate : public testing::TestWithParam<duplicate_case> {};

TEST_P(CaseDuplicate, IsTheFirstPairThatDiffersOnlyInLetterCase) {
    const duplicate_case& c = GetParam();
    size_t first = 99, second = 99;
    ASSERT_EQ(sfx::pack::find_case_duplicate(c.names, first, second), c.found);
    if (!c.found) return;
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(second, c.second);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CaseDuplicate,
    testing::Values(duplicate_case{"no names", {}, false, 0, 0},
                    duplicate_case{"one name", {"A.TXT"}, false, 0, 0},
                    duplicate_case{"different names", {"A.TXT", "B.TXT", "A.TX"}, false, 0, 0},
                    duplicate_case{"the same name twice", {"A.TXT", "A.TXT"}, true, 0, 1},
                    duplicate_case{
                        "names in other case", {"SETUP.EXE", "a.txt", "Setup.Exe"}, true, 0, 2},
                    // The pair whose later name comes first, not the one whose earlier does.
                    duplicate_case{"two pairs", {"A", "B", "b", "a"}, true, 1, 2},
                    // Only ASCII letters have a case: these differ by 0x20 all the same.
                    duplicate_case{"brackets and braces", {"[1].TXT", "{1}.TXT"}, false, 0, 0},
                    duplicate_case{"at sign and grave accent", {"@", "`"}, false, 0, 0},
                    duplicate_case{"letters beyond ASCII", {"\xE4.TXT", "\xC4.TXT"}, false, 0, 0}));

struct setup_case {
    const char* what;
    std::vector<std::string> names;
    bool present;
};

void PrintTo(const setup_case& c, std::ostream* out) {
    *out << c.what;
}

class SetupProgram : public testing::TestWithParam<setup_case> {};

TEST_P(SetupProgram, IsPresentOnlyUnderItsExactName) {
    EXPECT_EQ(sfx::pack::has_setup_program(GetParam().names), GetParam().present);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SetupProgram,
    testing::Values(setup_case{"no names", {}, false},
                    setup_case{"SETUP.EXE alone", {"SETUP.EXE"}, true},
                    setup_case{"SETUP.EXE last", {"A.TXT", "B.TXT", "SETUP.EXE"}, true},
                    // The stub starts "SETUP.EXE"; a file system that keeps
                    // case would not find another spelling.
                    setup_case{"in lower case", {"setup.exe"}, false},
                    setup_case{"a longer name", {"SETUP.EXE1"}, false},
                    setup_case{"a shorter name", {"SETUP.EX"}, false},
                    setup_case{"another program", {"INSTALL.EXE"}, false}));

}  // namespace
