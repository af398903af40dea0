#include "fuzz/plain_marker_search.h"

#include <string>

#include "src/stub.h"

namespace sfx::fuzz {

// Compares byte by byte rather than with memcmp: libFuzzer hooks memcmp, and
// the oracle's thousands of calls per input would drown the comparisons of
// the code under test.
int64_t plain_marker_search(const uint8_t* data, size_t size) {
    static const std::string marker = std::string(sfx::marker_vendor) + sfx::marker_suffix;
    for (size_t position = 0; position + marker.size() <= size; ++position) {
        size_t matched = 0;
        while (matched < marker.size() &&
               data[position + matched] == static_cast<uint8_t>(marker[matched]))
            ++matched;
        if (matched == marker.size()) return static_cast<int64_t>(position);
    }
    return -1;
}

}  // namespace sfx::fuzz
