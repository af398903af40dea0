// The table marker search, driven in-process over package streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "src/stub.h"
#include "tests/support/package_bytes.h"
#include "tests/support/package_recipe.h"
#include "tests/support/reader_fixture.h"

namespace {

using sfx::test::table_marker;

// Runs the search over `bytes` in a fresh session. The session stays open
// until the next search so that what the search left can be examined.
//
// Some cases read sfx::index and sfx::marker_found, which no session
// exposes: they pin down where within its block the scan stopped, the one
// way to see that blocks overlap exactly as they must. Only read, never set.
class MarkerSearch : public sfx::test::reader_fixture {
protected:
    bool search(const std::string& bytes) { return open_package(bytes) && session().find_marker(); }

    void expect_not_found(const std::string& bytes) {
        EXPECT_FALSE(search(bytes));
        EXPECT_STREQ(session().failure(), "Unable to locate Table Marker.\n");
    }
};

// `length` bytes that are not the marker, nor part of one.
std::string filler(size_t length) {
    return std::string(length, '.');
}

TEST_F(MarkerSearch, FindsTheExamplePackagesMarkerPastTheFalseStartInItsImage) {
    std::string package = sfx::test::build_package(sfx::test::example_package_recipe());
    ASSERT_EQ(package.size(), 3068863u);
    // The seventh block (from 24396) holds the vendor half at 27772, with a
    // NUL where the suffix's blank would be.
    ASSERT_EQ(package.compare(27772, 16, sfx::marker_vendor), 0);
    ASSERT_EQ(package[27772 + 16], '\0');
    ASSERT_EQ(package.compare(36864, 30, table_marker()), 0);

    ASSERT_TRUE(search(package));
    // Found in the tenth block, which begins at 9 * 4066 = 36594.
    EXPECT_EQ(sfx::index, 270u);
    EXPECT_EQ(session().table_start(), 36894);
    EXPECT_TRUE(sfx::marker_found);
}

struct edge_case {
    const char* what;
    size_t marker_at;  // where the marker begins
    size_t after;      // bytes after the marker
    uint32_t index;    // candidate position within the block that finds it
};

void PrintTo(const edge_case& c, std::ostream* out) {
    *out << c.what;
}

class MarkerAtBlockEdge : public MarkerSearch, public testing::WithParamInterface<edge_case> {};

TEST_P(MarkerAtBlockEdge, IsFoundOnceAtItsOwnOffset) {
    const edge_case& c = GetParam();
    ASSERT_TRUE(search(filler(c.marker_at) + table_marker() + filler(c.after)));
    EXPECT_EQ(sfx::index, c.index);
    EXPECT_EQ(session().table_start(), static_cast<int32_t>(c.marker_at + 30));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, MarkerAtBlockEdge,
    testing::Values(edge_case{"at the start", 0, 1, 0},
                    edge_case{"at an odd offset", 1001, 7, 1001},
                    // The last candidate of a full first block.
                    edge_case{"at 4065, in the first block", 4065, 1, 4065},
                    // Lies whole in the first block, but past its candidates.
                    edge_case{"at 4066, at the second block's start", 4066, 1, 0},
                    edge_case{"at 4080, across the first block's end", 4080, 1, 14},
                    edge_case{"in a far block", 5 * 4066 + 77, 3000, 77},
                    edge_case{"in the last, short block", 4066 + 10, 1, 10}));

TEST_F(MarkerSearch, TakesTheFirstOfTwoMarkers) {
    ASSERT_TRUE(search(filler(100) + table_marker() + filler(5000) + table_marker() + "x"));
    EXPECT_EQ(session().table_start(), 130);
}

struct miss_case {
    const char* what;
    std::string bytes;
};

void PrintTo(const miss_case& c, std::ostream* out) {
    *out << c.what;
}

class MarkerMissing : public MarkerSearch, public testing::WithParamInterface<miss_case> {};

TEST_P(MarkerMissing, FailsWithTheMarkerMessage) {
    expect_not_found(GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MarkerMissing,
    testing::Values(
        miss_case{"an empty file", ""}, miss_case{"a short file", filler(30)},
        miss_case{"the marker alone", table_marker()},
        miss_case{"exactly one full block", filler(4096)},
        miss_case{"several blocks", filler(3 * 4096 + 123)},
        // A marker with no byte after it is never examined.
        miss_case{"the marker at the end of the first block", filler(4066) + table_marker()},
        miss_case{"the marker at the end of a later block", filler(9000) + table_marker()},
        miss_case{"the vendor half at the end", filler(5000) + sfx::marker_vendor}));

// Near misses of the marker: none of them may be taken for it, and the search
// goes on to the real marker behind them.
struct near_miss {
    const char* what;
    std::string bytes;
};

void PrintTo(const near_miss& c, std::ostream* out) {
    *out << c.what;
}

std::string changed(size_t at, char to) {
    std::string marker = table_marker();
    marker[at] = to;
    return marker;
}

class NotAMarker : public MarkerSearch, public testing::WithParamInterface<near_miss> {};

TEST_P(NotAMarker, IsPassedOver) {
    const size_t real_at = 6000;
    std::string bytes = filler(50) + GetParam().bytes;
    bytes += filler(real_at - bytes.size()) + table_marker() + "x";
    ASSERT_TRUE(search(bytes));
    EXPECT_EQ(session().table_start(), static_cast<int32_t>(real_at + 30));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, NotAMarker,
    testing::Values(near_miss{"the halves with a NUL between",
                              std::string(sfx::marker_vendor) + '\0' + sfx::marker_suffix},
                    near_miss{"the first byte changed", changed(0, 'N')},
                    near_miss{"the vendor's last byte changed", changed(15, 'R')},
                    near_miss{"the blank changed", changed(16, '_')},
                    near_miss{"the last byte changed", changed(29, 'n')},
                    near_miss{"a letter of the vendor half in lower case", changed(0, 'm')},
                    near_miss{"a letter of the suffix in upper case", changed(17, 'S')},
                    near_miss{"without the blank",
                              std::string(sfx::marker_vendor) + (sfx::marker_suffix + 1)}));

}  // namespace
