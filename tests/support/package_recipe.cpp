#include "tests/support/package_recipe.h"

#include "src/stub.h"
#include "tests/support/package_bytes.h"

namespace sfx::test {
namespace {

std::string marker_of(const package_recipe& recipe) {
    return recipe.marker ? *recipe.marker : table_marker();
}

size_t table_size_of(const package_recipe& recipe) {
    if (recipe.raw_table) return recipe.raw_table->size();
    size_t size = static_cast<size_t>(sfx::END_RECORD_SIZE);
    for (const recipe_entry& entry : recipe.entries)
        size += entry.name.size() + 1 + static_cast<size_t>(sfx::OFFSET_FIELD_SIZE);
    return size;
}

}  // namespace

int32_t table_start_of(const package_recipe& recipe) {
    return static_cast<int32_t>(recipe.image.size() + recipe.fill.size() +
                                marker_of(recipe).size());
}

std::string build_package(const package_recipe& recipe) {
    std::string package = recipe.image + recipe.fill + marker_of(recipe);
    if (recipe.raw_table) {
        package += *recipe.raw_table;
    } else {
        size_t body_offset = package.size() + table_size_of(recipe) + recipe.gap.size();
        for (const recipe_entry& entry : recipe.entries) {
            package += entry.name;
            package.push_back('\0');
            append_le32(package, entry.offset ? *entry.offset : static_cast<int32_t>(body_offset));
            body_offset += entry.body.size();
        }
        package.push_back('\0');
        package.append(reinterpret_cast<const char*>(recipe.end_reserved.data()),
                       recipe.end_reserved.size());
    }
    package += recipe.gap;
    for (const recipe_entry& entry : recipe.entries)
        package += entry.body;
    package += recipe.trailer;
    return package;
}

void point_past_end(package_recipe& recipe, size_t entry, int32_t beyond) {
    // An override does not change the package's length.
    recipe.entries[entry].offset = static_cast<int32_t>(build_package(recipe).size()) + beyond;
}

package_recipe recipe_behind_image(std::vector<recipe_entry> entries) {
    package_recipe recipe;
    recipe.image = std::string(300, 'I');
    recipe.entries = std::move(entries);
    return recipe;
}

const std::vector<int32_t>& example_package_sizes() {
    static const std::vector<int32_t> sizes = {147449, 47616, 956,    29,      306666,
                                               8192,   10752, 192781, 2317374, 5};
    return sizes;
}

package_recipe example_package_recipe() {
    package_recipe recipe;
    // An image sfxpack takes for a stub, with the false start of the vendor
    // half, followed by a NUL, at 27772.
    recipe.image = stub_like_image(35328);
    std::string vendor = sfx::marker_vendor;
    recipe.image.replace(27772, vendor.size() + 1, vendor + '\0');
    recipe.fill.assign(1536, '\0');
    static const char* const names[] = {"DATA1.CAB",    "SETUP.EXE",  "SETUP.INI",  "SETUP.LST",
                                        "LICENSE1.TXT", "README.TXT", "MANUAL.PDF", "DRIVER.SYS",
                                        "DATA.BIN",     "LAST.DAT"};
    // Name lengths 9, 9, 9, 9, 12, 10, 10, 10, 8, 8: the records start where
    // the example has them.
    const std::vector<int32_t>& sizes = example_package_sizes();
    for (size_t i = 0; i < sizes.size(); ++i) {
        recipe_entry entry;
        entry.name = names[i];
        // A body that differs from every other at every position, so a body
        // read from a wrong offset shows.
        entry.body.resize(static_cast<size_t>(sizes[i]));
        for (size_t at = 0; at < entry.body.size(); ++at)
            entry.body[at] = static_cast<char>((at * 7 + i * 31 + at / 251) & 0xFF);
        recipe.entries.push_back(entry);
    }
    return recipe;
}

}  // namespace sfx::test
