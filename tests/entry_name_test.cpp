// The one name rule that decides which table names may become files.
#include "entry_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
    std::string name;
    bool safe;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << '"' << c.name << '"'; }

class EntryName : public testing::TestWithParam<NameCase> {};

TEST_P(EntryName, IsAcceptedOnlyWhenSafeToCreateInTheCurrentDirectory) {
    const NameCase& c = GetParam();
    const char* problem = sfx::entry_name_problem(c.name.c_str());
    if (c.safe)
        EXPECT_EQ(problem, nullptr) << problem;
    else
        EXPECT_NE(problem, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    SafeNames, EntryName,
    testing::Values(NameCase{"SETUP.EXE", true}, NameCase{"a", true},
                    NameCase{"LICENSE1.TXT", true},  // 12 characters, the most there is room for
                    NameCase{"CONFIG.SYS", true}, NameCase{"CONX", true}, NameCase{"COM0", true},
                    NameCase{"LPT10", true}, NameCase{"COM", true}, NameCase{"NULL.TXT", true},
                    NameCase{"AUXILIARY", true}, NameCase{"X.CON", true}, NameCase{"CONIN", true},
                    NameCase{".PROFILE", true}, NameCase{"A B.TXT", true},
                    NameCase{"\xE4\xF6.TXT", true},  // code page bytes above 0x7F
                    NameCase{"COM\xB4", true}));     // an accent, not a digit

INSTANTIATE_TEST_SUITE_P(
    UnsafeNames, EntryName,
    testing::Values(
        NameCase{"", false}, NameCase{"ABCDEFGHI.TXT", false},  // 13 characters
        NameCase{"/etc/passwd", false}, NameCase{"../SETUP.EXE", false}, NameCase{"a/b", false},
        NameCase{"a\\b", false}, NameCase{"\\WINDOWS", false}, NameCase{"C:SETUP.EXE", false},
        NameCase{"A.TXT:ADS", false}, NameCase{".", false}, NameCase{"..", false},
        NameCase{"SETUP.", false}, NameCase{"SETUP.EXE ", false}, NameCase{"A\x01", false},
        NameCase{"A\tB", false}, NameCase{"A\x1F", false}, NameCase{"A\x7F", false},
        NameCase{"A<B", false}, NameCase{"A>B", false}, NameCase{"A\"B", false},
        NameCase{"A|B", false}, NameCase{"A?B", false}, NameCase{"A*B", false},
        // Device names, in any letter case, with or without an extension.
        NameCase{"CON", false}, NameCase{"con", false}, NameCase{"Prn", false},
        NameCase{"aux.txt", false}, NameCase{"NUL.EXE", false}, NameCase{"nul.tar.gz", false},
        NameCase{"COM1", false}, NameCase{"com9.log", false}, NameCase{"LPT1", false},
        NameCase{"lPt9.X", false}, NameCase{"NUL .TXT", false}, NameCase{"CON.", false},
        // Superscript one to three number ports too.
        NameCase{"COM\xB9", false}, NameCase{"com\xB2.txt", false}, NameCase{"LPT\xB3", false},
        // The console's own names.
        NameCase{"CONIN$", false}, NameCase{"conout$.txt", false}));

}  // namespace
