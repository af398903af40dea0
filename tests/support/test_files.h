// Files as the tests write and read them: whole files, directory listings and
// streams over bytes. Each fails the current test (and returns false, empty or
// null) on an I/O error, so that a broken fixture is not mistaken for a fault
// of the code under test.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace sfx::test {

// Writes `bytes` as the whole file at `path` with mode `mode` (not reduced by
// the umask, so that a program the test runs stays executable).
bool write_file(const std::string& path, const std::string& bytes, unsigned mode = 0644);

// The whole file at `path`.
std::string read_file(const std::string& path);

// `size` bytes that differ at every position from those of another `seed`,
// so that a body read or copied from a wrong offset shows.
std::string patterned(size_t size, unsigned seed);

// The names in `directory`, sorted; "." and ".." left out.
std::vector<std::string> directory_names(const std::string& directory);

// `bytes` as an unnamed file open for binary reading and writing at offset 0,
// as the stub's own package file would be; the caller (or the reader_session
// that adopts it) closes it.
FILE* byte_stream(const std::string& bytes);

}  // namespace sfx::test
