// The one name rule that decides which table names may become files.
#include "src/entry_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct name_case {
    std::string name;
    bool safe;
};

void PrintTo(const name_case& c, std::ostream* out) {
    *out << '"' << c.name << '"';
}

class EntryName : public testing::TestWithParam<name_case> {};

TEST_P(EntryName, IsAcceptedOnlyWhenSafeToCreateInTheCurrentDirectory) {
    const name_case& c = GetParam();
    const char* problem = sfx::entry_name_problem(c.name.c_str());
    if (c.safe)
        EXPECT_EQ(problem, nullptr) << problem;
    else
        EXPECT_NE(problem, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    SafeNames, EntryName,
    testing::Values(name_case{"SETUP.EXE", true}, name_case{"a", true},
                    name_case{"LICENSE1.TXT", true},  // 12 characters, the most there is room for
                    name_case{"CONFIG.SYS", true}, name_case{"CONX", true}, name_case{"COM0", true},
                    name_case{"LPT10", true}, name_case{"COM", true}, name_case{"NULL.TXT", true},
                    name_case{"AUXILIARY", true}, name_case{"X.CON", true},
                    name_case{"CONIN", true}, name_case{".PROFILE", true},
                    name_case{"A B.TXT", true},
                    name_case{"\xE4\xF6.TXT", true},  // code page bytes above 0x7F
                    name_case{"COM\xB4", true}));     // an accent, not a digit

INSTANTIATE_TEST_SUITE_P(
    UnsafeNames, EntryName,
    testing::Values(
        name_case{"", false}, name_case{"ABCDEFGHI.TXT", false},  // 13 characters
        name_case{"/etc/passwd", false}, name_case{"../SETUP.EXE", false}, name_case{"a/b", false},
        name_case{"a\\b", false}, name_case{"\\WINDOWS", false}, name_case{"C:SETUP.EXE", false},
        name_case{"A.TXT:ADS", false}, name_case{".", false}, name_case{"..", false},
        name_case{"SETUP.", false}, name_case{"SETUP.EXE ", false}, name_case{"A\x01", false},
        name_case{"A\tB", false}, name_case{"A\x1F", false}, name_case{"A\x7F", false},
        name_case{"A<B", false}, name_case{"A>B", false}, name_case{"A\"B", false},
        name_case{"A|B", false}, name_case{"A?B", false}, name_case{"A*B", false},
        // Device names, in any letter case, with or without an extension.
        name_case{"CON", false}, name_case{"con", false}, name_case{"Prn", false},
        name_case{"aux.txt", false}, name_case{"NUL.EXE", false}, name_case{"nul.tar.gz", false},
        name_case{"COM1", false}, name_case{"com9.log", false}, name_case{"LPT1", false},
        name_case{"lPt9.X", false}, name_case{"NUL .TXT", false}, name_case{"CON.", false},
        // Superscript one to three number ports too.
        name_case{"COM\xB9", false}, name_case{"com\xB2.txt", false}, name_case{"LPT\xB3", false},
        // The console's own names.
        name_case{"CONIN$", false}, name_case{"conout$.txt", false}));

}  // namespace
