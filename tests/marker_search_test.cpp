// The table marker search, driven in-process over package streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "package_reader.h"
#include "stub.h"
#include "support/package_builder.h"
#include "support/reader_test.h"

namespace {

using sfx_test::table_marker;

// Runs the search over `bytes` from a clean state. The stream stays open
// until the next search so that the state can be examined.
class MarkerSearch : public sfx_test::ReaderTest {
protected:
    bool search(const std::string& bytes) {
        return open_package(bytes) && sfx::scan_for_table_marker();
    }

    void expect_not_found(const std::string& bytes) {
        EXPECT_FALSE(search(bytes));
        EXPECT_STREQ(sfx::failure_text, "Unable to locate Table Marker.\n");
    }
};

// `length` bytes that are not the marker, nor part of one.
std::string filler(size_t length) { return std::string(length, '.'); }

TEST_F(MarkerSearch, FindsTheExamplePackagesMarkerPastTheFalseStartInItsImage) {
    std::string package = sfx_test::build_package(sfx_test::example_package_layout());
    ASSERT_EQ(package.size(), 3068863u);
    // The seventh block (from 24396) holds the vendor half at 27772, with a
    // NUL where the suffix's blank would be.
    ASSERT_EQ(package.compare(27772, 16, sfx::marker_vendor), 0);
    ASSERT_EQ(package[27772 + 16], '\0');
    ASSERT_EQ(package.compare(36864, 30, table_marker()), 0);

    ASSERT_TRUE(search(package));
    // Found in the tenth block, which begins at 9 * 4066 = 36594.
    EXPECT_EQ(sfx::index, 270u);
    EXPECT_EQ(sfx::base_offset, 36894);
    EXPECT_TRUE(sfx::marker_found);
}

struct EdgeCase {
    const char* what;
    size_t marker_at;  // where the marker begins
    size_t after;      // bytes after the marker
    uint32_t index;    // candidate position within the block that finds it
};

void PrintTo(const EdgeCase& c, std::ostream* out) { *out << c.what; }

class MarkerAtBlockEdge : public MarkerSearch, public testing::WithParamInterface<EdgeCase> {};

TEST_P(MarkerAtBlockEdge, IsFoundOnceAtItsOwnOffset) {
    const EdgeCase& c = GetParam();
    ASSERT_TRUE(search(filler(c.marker_at) + table_marker() + filler(c.after)));
    EXPECT_EQ(sfx::index, c.index);
    EXPECT_EQ(sfx::base_offset, static_cast<int32_t>(c.marker_at + 30));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, MarkerAtBlockEdge,
    testing::Values(EdgeCase{"at the start", 0, 1, 0}, EdgeCase{"at an odd offset", 1001, 7, 1001},
                    // The last candidate of a full first block.
                    EdgeCase{"at 4065, in the first block", 4065, 1, 4065},
                    // Lies whole in the first block, but past its candidates.
                    EdgeCase{"at 4066, at the second block's start", 4066, 1, 0},
                    EdgeCase{"at 4080, across the first block's end", 4080, 1, 14},
                    EdgeCase{"in a far block", 5 * 4066 + 77, 3000, 77},
                    EdgeCase{"in the last, short block", 4066 + 10, 1, 10}));

TEST_F(MarkerSearch, TakesTheFirstOfTwoMarkers) {
    ASSERT_TRUE(search(filler(100) + table_marker() + filler(5000) + table_marker() + "x"));
    EXPECT_EQ(sfx::base_offset, 130);
}

struct MissCase {
    const char* what;
    std::string bytes;
};

void PrintTo(const MissCase& c, std::ostream* out) { *out << c.what; }

class MarkerMissing : public MarkerSearch, public testing::WithParamInterface<MissCase> {};

TEST_P(MarkerMissing, FailsWithTheMarkerMessage) { expect_not_found(GetParam().bytes); }

INSTANTIATE_TEST_SUITE_P(
    Files, MarkerMissing,
    testing::Values(
        MissCase{"an empty file", ""}, MissCase{"a short file", filler(30)},
        MissCase{"the marker alone", table_marker()},
        MissCase{"exactly one full block", filler(4096)},
        MissCase{"several blocks", filler(3 * 4096 + 123)},
        // A marker with no byte after it is never examined.
        MissCase{"the marker at the end of the first block", filler(4066) + table_marker()},
        MissCase{"the marker at the end of a later block", filler(9000) + table_marker()},
        MissCase{"the vendor half at the end", filler(5000) + sfx::marker_vendor}));

// Near misses of the marker: none of them may be taken for it, and the search
// goes on to the real marker behind them.
struct NearMiss {
    const char* what;
    std::string bytes;
};

void PrintTo(const NearMiss& c, std::ostream* out) { *out << c.what; }

std::string changed(size_t at, char to) {
    std::string marker = table_marker();
    marker[at] = to;
    return marker;
}

class NotAMarker : public MarkerSearch, public testing::WithParamInterface<NearMiss> {};

TEST_P(NotAMarker, IsPassedOver) {
    const size_t real_at = 6000;
    std::string bytes = filler(50) + GetParam().bytes;
    bytes += filler(real_at - bytes.size()) + table_marker() + "x";
    ASSERT_TRUE(search(bytes));
    EXPECT_EQ(sfx::base_offset, static_cast<int32_t>(real_at + 30));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, NotAMarker,
    testing::Values(NearMiss{"the halves with a NUL between",
                             std::string(sfx::marker_vendor) + '\0' + sfx::marker_suffix},
                    NearMiss{"the first byte changed", changed(0, 'N')},
                    NearMiss{"the vendor's last byte changed", changed(15, 'R')},
                    NearMiss{"the blank changed", changed(16, '_')},
                    NearMiss{"the last byte changed", changed(29, 'n')},
                    NearMiss{"a letter of the vendor half in lower case", changed(0, 'm')},
                    NearMiss{"a letter of the suffix in upper case", changed(17, 'S')},
                    NearMiss{"without the blank",
                             std::string(sfx::marker_vendor) + (sfx::marker_suffix + 1)}));

}  // namespace
