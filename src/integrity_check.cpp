// Checking a body's checksum against the integrity record.
#include "src/integrity_check.h"

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

}  // namespace sfx
