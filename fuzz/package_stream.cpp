// The stream is a glibc cookie stream rather than fmemopen: fmemopen needs
// every byte in memory and refuses an empty buffer, and the table loader asks
// for the byte at 2 GiB - 1 to tell a package that is too large.
#include "fuzz/package_stream.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

namespace sfx::fuzz {
namespace {

struct StreamState {
    package_bytes package;
    uint64_t position;
};

ssize_t read_package(void* cookie, char* buffer, size_t wanted) {
    auto* state = static_cast<StreamState*>(cookie);
    const package_bytes& package = state->package;
    if (state->position >= package.length) return 0;
    size_t count =
        static_cast<size_t>(std::min<uint64_t>(wanted, package.length - state->position));
    size_t from_data = 0;
    if (state->position < package.stored)
        from_data =
            static_cast<size_t>(std::min<uint64_t>(count, package.stored - state->position));
    memcpy(buffer, package.data + state->position, from_data);
    memset(buffer + from_data, 0, count - from_data);
    state->position += count;
    return static_cast<ssize_t>(count);
}

int seek_package(void* cookie, off64_t* offset, int whence) {
    auto* state = static_cast<StreamState*>(cookie);
    int64_t origin = 0;
    if (whence == SEEK_CUR) origin = static_cast<int64_t>(state->position);
    if (whence == SEEK_END) origin = static_cast<int64_t>(state->package.length);
    // Reject results that would be negative or overflow, as a disk file does.
    if ((*offset < 0 && origin + *offset < 0) || (*offset > 0 && *offset > INT64_MAX - origin))
        return -1;
    state->position = static_cast<uint64_t>(origin + *offset);
    *offset = static_cast<off64_t>(state->position);
    return 0;
}

int close_package(void* cookie) {
    delete static_cast<StreamState*>(cookie);
    return 0;
}

}  // namespace

FILE* open_package_stream(const package_bytes& package) {
    auto* state = new StreamState{package, 0};
    cookie_io_functions_t functions{};
    functions.read = read_package;
    functions.seek = seek_package;
    functions.close = close_package;
    FILE* stream = fopencookie(state, "rb", functions);
    if (stream == nullptr) delete state;
    return stream;
}

}  // namespace sfx::fuzz
