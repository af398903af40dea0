// What a test package is made of, part by part, and the bytes it makes:
// executable image, fill, table marker, table records, end record and bodies.
// Every part can be overridden, so a test can also make the hostile packages
// the stub must refuse. (Not the packer's offset plan, sfx::pack::package_layout:
// a recipe says what the bytes are, the packer's plan where its own go.)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sfx::test {

// One packed file. Without `offset` the record points at where the recipe
// places the body; with it, the record holds that value instead (the body is
// still placed in order).
struct recipe_entry {
    std::string name;
    std::string body;
    std::optional<int32_t> offset;
};

struct package_recipe {
    std::string image;                            // the executable image, verbatim
    std::string fill;                             // bytes between image and marker
    std::optional<std::string> marker;            // replaces the real marker when set
    std::vector<recipe_entry> entries;            // table records, in table order
    std::array<unsigned char, 4> end_reserved{};  // the end record's reserved bytes
    std::optional<std::string> raw_table;         // replaces records and end record verbatim
    std::string gap;                              // bytes between end record and first body
    std::string trailer;                          // bytes after the last body
};

// The package bytes for `recipe`. Bodies are placed back to back after the
// table (and gap); records without an override offset point at them.
std::string build_package(const package_recipe& recipe);

// Offset of the first byte after the table marker in the package that
// build_package(recipe) returns.
int32_t table_start_of(const package_recipe& recipe);

// Sets the offset of entry `entry` to the length of the package that `recipe`
// gives plus `beyond`: an offset outside the package.
void point_past_end(package_recipe& recipe, size_t entry, int32_t beyond);

// `entries` behind an image of 300 bytes, so that no offset is trivially 0:
// the everyday package of the reading steps' tests.
package_recipe recipe_behind_image(std::vector<recipe_entry> entries);

// The package of the layout's worked example, 3068863 bytes with ten files:
// a 35328-byte image that holds the marker's vendor half followed by a NUL at
// 27772 (a false start for the search), 1536 zero bytes of fill, the marker at
// 36864, the table from 36894 to 37043 and the bodies from there on. The
// records' offsets are 37043, 184492, 232108, 233064, 233093, 539759, 547951,
// 558703, 751484 and 3068858.
package_recipe example_package_recipe();
// The body sizes of that package, in table order.
const std::vector<int32_t>& example_package_sizes();

}  // namespace sfx::test
