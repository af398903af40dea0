// One ITEM of `sfxpack create`, split into the entry name and the file.
#include "tools/pack_item.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct item_case {
    const char* item;
    const char* name;
    const char* path;
};

void PrintTo(const item_case& c, std::ostream* out) {
    *out << '"' << c.item << '"';
}

class PackItem : public testing::TestWithParam<item_case> {};

TEST_P(PackItem, NamesTheEntryAndTheFile) {
    sfx::pack::pack_item parsed = sfx::pack::parse_pack_item(GetParam().item);
    EXPECT_EQ(parsed.name, GetParam().name);
    EXPECT_EQ(parsed.path, GetParam().path);
}

// The tests run on POSIX, where only '/' separates directories.
INSTANTIATE_TEST_SUITE_P(
    Items, PackItem,
    testing::Values(
        // A plain FILE is stored under its base name.
        item_case{"README.TXT", "README.TXT", "README.TXT"},
        item_case{"in/README.TXT", "README.TXT", "in/README.TXT"},
        item_case{"/abs/dir/SETUP.EXE", "SETUP.EXE", "/abs/dir/SETUP.EXE"},
        item_case{"dir\\A.TXT", "dir\\A.TXT", "dir\\A.TXT"},
        // Left for the name rule to refuse, not mended here.
        item_case{"in/", "", "in/"},
        // NAME=FILE splits at the first '=', so the path may hold more.
        item_case{"SETUP.EXE=build/setup", "SETUP.EXE", "build/setup"},
        item_case{"ALL.BIN=in/every byte=.dat", "ALL.BIN", "in/every byte=.dat"},
        item_case{"=in/a.txt", "", "in/a.txt"}, item_case{"A.TXT=", "A.TXT", ""},
        // A plain FILE with '=' is read as NAME=FILE: such a file needs a NAME.
        item_case{"in/a=b.txt", "in/a", "b.txt"}));

}  // namespace
