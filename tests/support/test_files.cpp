#include "tests/support/test_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace sfx::test {

bool write_file(const std::string& path, const std::string& bytes, unsigned mode) {
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (descriptor < 0) {
        ADD_FAILURE() << "cannot create " << path << ": " << strerror(errno);
        return false;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t result = write(descriptor, bytes.data() + written, bytes.size() - written);
        if (result < 0) {
            ADD_FAILURE() << "cannot write " << path << ": " << strerror(errno);
            close(descriptor);
            return false;
        }
        written += static_cast<size_t>(result);
    }
    // The umask must not take the execute bit off a program the test runs.
    fchmod(descriptor, static_cast<mode_t>(mode));
    close(descriptor);
    return true;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> directory_names(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* listing = opendir(directory.c_str())) {
        while (dirent* entry = readdir(listing)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(listing);
    }
    std::sort(names.begin(), names.end());
    return names;
}

FILE* byte_stream(const std::string& bytes) {
    FILE* stream = tmpfile();
    if (stream == nullptr || fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size() ||
        fflush(stream) != 0) {
        ADD_FAILURE() << "cannot make a stream over the test's bytes: " << strerror(errno);
        if (stream != nullptr) fclose(stream);
        return nullptr;
    }
    rewind(stream);
    return stream;
}

std::string patterned(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t at = 0; at < size; ++at)
        bytes[at] = static_cast<char>((at * 13 + seed * 101 + at / 251) & 0xFF);
    return bytes;
}

}  // namespace sfx::test
