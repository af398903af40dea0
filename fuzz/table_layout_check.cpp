#include "fuzz/table_layout_check.h"

#include <algorithm>
#include <cstring>

#include "fuzz/finding.h"
#include "src/entry_name.h"
#include "src/stub.h"

namespace sfx::fuzz {

const char* read_table_plainly(const package_bytes& package, int64_t table_start,
                               std::vector<stored_record>& records) {
    records.clear();
    if (package.length >= static_cast<uint64_t>(sfx::PACKAGE_LENGTH_LIMIT))
        return "the package is 2 GiB or larger";
    if (table_start < 0 || static_cast<uint64_t>(table_start) > package.length)
        return "the table starts outside the package";
    uint64_t position = static_cast<uint64_t>(table_start);
    // The stub reads the table as one block: nothing of it may lie beyond.
    const uint64_t end = std::min<uint64_t>(package.length, position + sfx::BLOCK_SIZE);
    for (;;) {
        std::string name;
        for (;;) {
            if (position == end) return "no end record within the table block";
            uint8_t byte = package.at(position++);
            if (byte == 0) break;
            name.push_back(static_cast<char>(byte));
        }
        if (end - position < static_cast<uint64_t>(sfx::OFFSET_FIELD_SIZE))
            return "no end record within the table block";
        uint32_t raw = 0;
        for (int shift = 0; shift < 32; shift += 8)
            raw |= uint32_t{package.at(position++)} << shift;
        if (name.empty()) return nullptr;
        if (records.size() == static_cast<size_t>(sfx::MAX_TABLE_ENTRIES))
            return "more than 12 records";
        if (sfx::entry_name_problem(name.c_str()) != nullptr) return "a name breaks the name rule";
        const auto offset = static_cast<int32_t>(raw);
        if (offset < 0 || static_cast<uint64_t>(offset) > package.length)
            return "an offset lies outside the package";
        if (!records.empty() && offset < records.back().offset)
            return "an offset is lower than the one before";
        records.push_back({name, offset});
    }
}

void check_accepted_table(const sfx::reader_session& session, const package_bytes& package) {
    std::vector<stored_record> records;
    const auto file_table = session.slots();
    if (const char* broken = read_table_plainly(package, session.table_start(), records))
        report_finding("an accepted table breaks a rule: %s", broken);

    const size_t count = records.size();
    for (size_t slot = 0; slot < count; ++slot) {
        const sfx::table_entry& entry = file_table[slot];
        if (memchr(entry.name, '\0', sizeof entry.name) == nullptr)
            report_finding("slot %zu holds a name without its NUL", slot);
        if (records[slot].name != entry.name || records[slot].offset != entry.offset)
            report_finding("slot %zu holds \"%s\" at %d, the package has \"%s\" at %d", slot,
                           entry.name, entry.offset, records[slot].name.c_str(),
                           records[slot].offset);
    }
    if (file_table[count].name[0] != '\0' || file_table[count].size != 0)
        report_finding("slot %zu after the last entry is not an end slot", count);
    static const sfx::table_entry zero_slot{};
    for (size_t slot = count + 1; slot < static_cast<size_t>(sfx::FILE_TABLE_SLOTS); ++slot)
        if (memcmp(&file_table[slot], &zero_slot, sizeof zero_slot) != 0)
            report_finding("slot %zu behind the end slot was written", slot);

    const int64_t bodies_end = session.package_length();
    if (bodies_end < (count > 0 ? records.back().offset : 0) ||
        static_cast<uint64_t>(bodies_end) > package.length)
        report_finding("the bodies end at %lld, outside [last offset, %llu]",
                       static_cast<long long>(bodies_end),
                       static_cast<unsigned long long>(package.length));
    int64_t total = 0;
    for (size_t slot = 0; slot < count; ++slot) {
        const int64_t next = slot + 1 < count ? records[slot + 1].offset : bodies_end;
        const int64_t expected = next - records[slot].offset;
        if (file_table[slot].size != expected || expected < 0)
            report_finding("slot %zu has size %d, expected %lld", slot, file_table[slot].size,
                           static_cast<long long>(expected));
        total += expected;
    }
    if (static_cast<uint64_t>(total) > package.length)
        report_finding("the sizes add up to %lld, more than the package's %llu bytes",
                       static_cast<long long>(total),
                       static_cast<unsigned long long>(package.length));
}

}  // namespace sfx::fuzz
