// A new output file that appears under its final name only when complete:
// written as a temporary file beside the final path, then renamed over it.
// Until the rename an existing file of the final name is untouched, and a
// failure anywhere leaves nothing behind.
#pragma once

#include <cstdio>
#include <string>

namespace sfx::pack {

class temp_output {
public:
    temp_output() = default;
    temp_output(const temp_output&) = delete;
    temp_output& operator=(const temp_output&) = delete;
    // Removes the temporary file unless commit succeeded.
    ~temp_output();

    // Creates a new, uniquely named file in the directory of `final_path`,
    // never one that already exists. On POSIX it gets mode 0777 less the
    // umask: a package is a program. False with a one-line reason in `error`.
    bool create(const std::string& final_path, std::string& error);

    // The open stream of the temporary file, for binary writing.
    FILE* stream() const { return stream_; }

    // The temporary file's path, to read back what has been written.
    const std::string& path() const { return temp_path_; }

    // Closes the temporary file, reporting any write that failed on the way,
    // and renames it to the final path, replacing a file of that name. False
    // with a one-line reason in `error`; the temporary file is then removed.
    bool commit(std::string& error);

private:
    void discard();

    std::string final_path_;
    std::string temp_path_;
    FILE* stream_ = nullptr;
    bool committed_ = false;
};

}  // namespace sfx::pack
