// Arbitrary file contents through the marker scan. The scan reads in
// overlapping blocks; whatever the contents, it must land exactly where a
// plain first-occurrence search over the whole file does.
#include <cstdint>
#include <cstring>

#include "fuzz/finding.h"
#include "fuzz/package_stream.h"
#include "fuzz/plain_marker_search.h"
#include "src/reader_session.h"

namespace {

// Offset just past the first marker when at least one byte follows it (a
// marker that ends the file is not a package; any later one would run past
// the end), or -1.
int64_t expected_table_start(const uint8_t* data, size_t size) {
    const int64_t marker = sfx::fuzz::plain_marker_search(data, size);
    if (marker < 0 || static_cast<size_t>(marker + sfx::MARKER_LENGTH) >= size) return -1;
    return marker + sfx::MARKER_LENGTH;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using sfx::fuzz::report_finding;
    sfx::reader_session session("package");
    if (!session.adopt(sfx::fuzz::open_package_stream({data, size, size})))
        report_finding("cannot open a stream over the input");

    const bool found = session.find_marker();
    const int64_t expected = expected_table_start(data, size);
    if (found && session.table_start() != expected)
        report_finding("the scan ends at %d, the first marker at %lld", session.table_start(),
                       static_cast<long long>(expected));
    if (!found && expected >= 0)
        report_finding("the scan missed the marker that ends at %lld",
                       static_cast<long long>(expected));
    if (!found && strcmp(session.failure(), "Unable to locate Table Marker.\n") != 0)
        report_finding("a failed scan says \"%s\"", session.failure());
    return 0;
}
