// The packer's offset plan, worked out from sizes alone: the marker on a
// block boundary of the stub's scan, the table right behind it, the package
// padded to a multiple of 8 in front of the first body.
#include "tools/package_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/package_recipe.h"

namespace {

using sfx::pack::package_layout;

struct layout_case {
    const char* what;
    int64_t image_size;
    std::vector<std::string> names;
    std::vector<int64_t> body_sizes;
    package_layout expected;
};

void PrintTo(const layout_case& c, std::ostream* out) {
    *out << c.what;
}

package_layout planned(int64_t marker, int64_t table, int64_t table_end, int64_t first_body,
                       std::vector<int64_t> bodies, int64_t total) {
    package_layout layout;
    layout.marker_offset = marker;
    layout.table_offset = table;
    layout.table_end = table_end;
    layout.first_body_offset = first_body;
    layout.body_offsets = std::move(bodies);
    layout.total_length = total;
    return layout;
}

// The worked example of the layout: a 35328-byte image and ten bodies. The
// package comes to 3068863 bytes, one short of a multiple of 8, so every body
// lies one byte later than the example's offsets.
layout_case worked_example() {
    sfx::test::package_recipe example = sfx::test::example_package_recipe();
    layout_case c{"the worked example", static_cast<int64_t>(example.image.size()), {}, {}, {}};
    for (const sfx::test::recipe_entry& entry : example.entries)
        c.names.push_back(entry.name);
    for (int32_t size : sfx::test::example_package_sizes())
        c.body_sizes.push_back(size);
    c.expected = planned(
        36864, 36894, 37043, 37044,
        {37044, 184493, 232109, 233065, 233094, 539760, 547952, 558704, 751485, 3068859}, 3068864);
    return c;
}

class PlanPackage : public testing::TestWithParam<layout_case> {};

TEST_P(PlanPackage, PlacesEveryPartWhereTheStubWillLook) {
    const layout_case& c = GetParam();
    package_layout plan = sfx::pack::plan_package(c.image_size, c.names, c.body_sizes);
    EXPECT_EQ(plan.marker_offset, c.expected.marker_offset);
    EXPECT_EQ(plan.table_offset, c.expected.table_offset);
    EXPECT_EQ(plan.table_end, c.expected.table_end);
    EXPECT_EQ(plan.first_body_offset, c.expected.first_body_offset);
    EXPECT_EQ(plan.body_offsets, c.expected.body_offsets);
    EXPECT_EQ(plan.total_length, c.expected.total_length);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, PlanPackage,
    testing::Values(layout_case{"no image and no entry", 0, {}, {}, planned(0, 30, 35, 40, {}, 40)},
                    layout_case{"an image of whole blocks needs no fill",
                                4096,
                                {"A"},
                                {3},
                                planned(4096, 4126, 4137, 4141, {4141}, 4144)},
                    layout_case{"one byte more starts the next block",
                                4097,
                                {},
                                {},
                                planned(8192, 8222, 8227, 8232, {}, 8232)},
                    layout_case{"a package of a multiple of 8 needs no padding",
                                1,
                                {"AB"},
                                {6},
                                planned(4096, 4126, 4138, 4138, {4138}, 4144)},
                    layout_case{"empty bodies share their offset with the next",
                                100,
                                {"A.TXT", "B.TXT", "C.TXT"},
                                {0, 5, 0},
                                planned(4096, 4126, 4161, 4163, {4163, 4163, 4168}, 4168)},
                    // Laid out all the same, in 64 bits: the caller refuses it.
                    layout_case{"2 GiB of bodies",
                                4096,
                                {"BIG.BIN"},
                                {int64_t{1} << 31},
                                planned(4096, 4126, 4143, 4144, {4144}, (int64_t{1} << 31) + 4144)},
                    worked_example()));

}  // namespace
