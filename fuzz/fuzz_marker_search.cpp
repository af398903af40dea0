// Arbitrary file contents through the marker scan. The scan reads in
// overlapping blocks; whatever the contents, it must land exactly where a
// plain first-occurrence search over the whole file does.
#include <cstdint>
#include <cstring>

#include "finding.h"
#include "package_reader.h"
#include "package_stream.h"
#include "plain_marker_search.h"

namespace {

// Offset just past the first marker when at least one byte follows it (a
// marker that ends the file is not a package; any later one would run past
// the end), or -1.
int64_t expected_table_start(const uint8_t* data, size_t size) {
    const int64_t marker = sfx_fuzz::plain_marker_search(data, size);
    if (marker < 0 || static_cast<size_t>(marker + sfx::MARKER_LENGTH) >= size) return -1;
    return marker + sfx::MARKER_LENGTH;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using sfx_fuzz::report_finding;
    sfx::reset_reader_state();
    sfx::image_stream = sfx_fuzz::open_package_stream({data, size, size});
    if (sfx::image_stream == nullptr) report_finding("cannot open a stream over the input");

    const bool found = sfx::scan_for_table_marker();
    const int64_t expected = expected_table_start(data, size);
    if (found && sfx::base_offset != expected)
        report_finding("the scan ends at %d, the first marker at %lld", sfx::base_offset,
                       static_cast<long long>(expected));
    if (!found && expected >= 0)
        report_finding("the scan missed the marker that ends at %lld",
                       static_cast<long long>(expected));
    if (!found && strcmp(sfx::failure_text, "Unable to locate Table Marker.\n") != 0)
        report_finding("a failed scan says \"%s\"", sfx::failure_text);

    fclose(sfx::image_stream);
    sfx::image_stream = nullptr;
    return 0;
}
