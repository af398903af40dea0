// Arbitrary bytes through the integrity record's decoder, and arbitrary
// records through its encoder. A record the decoder accepts must be exactly
// what the encoder writes for the values it returned (so no field, padding or
// check is skipped), and its verdict must agree with a plain reading of the
// fields; whatever the encoder writes must decode to the same values.
#include <cstdint>
#include <cstring>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "fuzz/finding.h"
#include "src/integrity_record.h"

namespace {

using sfx::fuzz::report_finding;

uint64_t field(const uint8_t* bytes, size_t at, size_t width) {
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value |= uint64_t{bytes[at + i]} << (8 * i);
    return value;
}

// The verdict by reading the fields one by one, hashing with the library
// directly.
sfx::integrity_state plain_verdict(const uint8_t* bytes) {
    if (memcmp(bytes, "SFXINTEG", 8) != 0) return sfx::integrity_state::absent;
    if (field(bytes, 8, 2) != 1) return sfx::integrity_state::unknown_version;
    if (field(bytes, 10, 2) != 136 || field(bytes, 128, 8) != XXH3_64bits(bytes, 128))
        return sfx::integrity_state::damaged;
    const uint64_t count = field(bytes, 12, 4);
    if (count > 12 || field(bytes, 16, 8) >= (uint64_t{1} << 31))
        return sfx::integrity_state::damaged;
    for (uint64_t entry = count; entry < 12; ++entry)
        if (field(bytes, 32 + 8 * entry, 8) != 0) return sfx::integrity_state::damaged;
    return sfx::integrity_state::valid;
}

void check_decoder(const uint8_t* bytes) {
    sfx::integrity_record record{};
    const sfx::integrity_state state = sfx::decode_integrity_record(bytes, record);
    if (state != plain_verdict(bytes))
        report_finding("the decoder says %d, a plain reading %d", static_cast<int>(state),
                       static_cast<int>(plain_verdict(bytes)));
    if (state != sfx::integrity_state::valid) return;
    unsigned char again[sfx::INTEGRITY_RECORD_SIZE];
    sfx::encode_integrity_record(record, again);
    if (memcmp(again, bytes, sizeof again) != 0)
        report_finding("an accepted record is not what its values encode to");
}

// A record made of the input's bytes (count and length brought into range)
// must come back unchanged.
void check_round_trip(const uint8_t* bytes) {
    sfx::integrity_record record{};
    record.entry_count = static_cast<uint32_t>(field(bytes, 0, 1) % 13);
    record.package_length = static_cast<int64_t>(field(bytes, 1, 4) & 0x7FFFFFFF);
    record.table_checksum = field(bytes, 5, 8);
    for (uint32_t entry = 0; entry < record.entry_count; ++entry)
        record.checksums[entry] = field(bytes, 13 + 8 * entry, 8);
    unsigned char encoded[sfx::INTEGRITY_RECORD_SIZE];
    sfx::encode_integrity_record(record, encoded);
    sfx::integrity_record decoded{};
    if (sfx::decode_integrity_record(encoded, decoded) != sfx::integrity_state::valid ||
        memcmp(&decoded, &record, sizeof record) != 0)
        report_finding("an encoded record does not decode to its own values");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < static_cast<size_t>(sfx::INTEGRITY_RECORD_SIZE)) return 0;
    check_decoder(data);
    check_round_trip(data);
    return 0;
}
