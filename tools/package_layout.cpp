// Planning where every part of a package goes, from the sizes alone.
#include "tools/package_layout.h"

#include "src/stub.h"

namespace sfx::pack {
namespace {

int64_t round_up(int64_t value, int64_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

}  // namespace

package_layout plan_package(int64_t image_size, const std::vector<std::string>& names,
                            const std::vector<int64_t>& body_sizes, bool integrity_record) {
    package_layout layout;
    const int64_t record_size = integrity_record ? sfx::INTEGRITY_RECORD_SIZE : 0;
    layout.marker_offset = round_up(image_size + record_size, MARKER_ALIGNMENT);
    if (integrity_record) layout.record_offset = layout.marker_offset - record_size;
    layout.table_offset = layout.marker_offset + sfx::MARKER_LENGTH;
    int64_t table_size = sfx::END_RECORD_SIZE;
    for (const std::string& name : names)
        table_size += static_cast<int64_t>(name.size()) + 1 + sfx::OFFSET_FIELD_SIZE;
    layout.table_end = layout.table_offset + table_size;

    int64_t bodies_size = 0;
    for (int64_t size : body_sizes)
        bodies_size += size;
    layout.total_length = round_up(layout.table_end + bodies_size, PACKAGE_ALIGNMENT);
    layout.first_body_offset = layout.total_length - bodies_size;

    int64_t offset = layout.first_body_offset;
    for (int64_t size : body_sizes) {
        layout.body_offsets.push_back(offset);
        offset += size;
    }
    return layout;
}

}  // namespace sfx::pack
