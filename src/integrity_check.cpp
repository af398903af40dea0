// Checking a body against the integrity record, while extracting or alone.
#include "src/integrity_check.h"

#include <cstdio>

#include "src/body_checksum.h"
#include "src/failure.h"
#include "src/printable_text.h"

namespace sfx {

bool body_matches_record(const table_entry& entry, uint64_t checksum) {
    if (!integrity_present) return true;
    const auto slot = static_cast<size_t>(&entry - file_table);
    if (slot < package_integrity.entry_count && package_integrity.checksums[slot] == checksum)
        return true;
    return set_failure("The contents of %s in %s are damaged (a checksum does not match).\n",
                       shown_name(entry.name).c_str(),
                       shown_path(package_path != nullptr ? package_path : "the package").c_str());
}

bool check_body(const table_entry& entry) {
    if (fseek(image_stream, entry.offset, SEEK_SET) != 0)
        return set_failure("Unable to read the contents of %s from the package.\n",
                           shown_name(entry.name).c_str());
    start_body_checksum();
    for (int32_t left = entry.size; left > 0;) {
        const auto chunk = static_cast<size_t>(left < BLOCK_SIZE ? left : BLOCK_SIZE);
        if (fread(io_buffer, 1, chunk, image_stream) != chunk)
            return set_failure("Unable to read the contents of %s from the package.\n",
                               shown_name(entry.name).c_str());
        add_to_body_checksum(io_buffer, chunk);
        left -= static_cast<int32_t>(chunk);
    }
    return body_matches_record(entry, body_checksum());
}

}  // namespace sfx
