// The one sandbox of the tests: a fresh directory under /tmp that is removed,
// whole, when the test is done with it.
#pragma once

#include <string>

namespace sfx::test {

class temp_directory {
public:
    // Creates a new directory, /tmp/sfx-test-XXXXXX, and learns its real path
    // (no symbolic link in it), so that it compares equal to the directory a
    // program run inside it reports. Fails the current test when it cannot.
    temp_directory();
    // Removes the directory and everything below it, however deep.
    ~temp_directory();
    temp_directory(const temp_directory&) = delete;
    temp_directory& operator=(const temp_directory&) = delete;

    // The directory's real path; empty when it could not be created.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace sfx::test
