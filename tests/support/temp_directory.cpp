#include "tests/support/temp_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace sfx::test {
namespace {

// Removes `name` in the directory `parent` and everything below it; relative
// to descriptors, so that paths longer than the system's limit go too.
// Symbolic links are removed, never followed.
void remove_tree_at(int parent, const char* name) {
    int directory = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (directory < 0) {
        unlinkat(parent, name, 0);
        return;
    }
    if (DIR* listing = fdopendir(directory)) {
        std::vector<std::string> names;
        while (dirent* entry = readdir(listing))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        for (const std::string& child : names)
            remove_tree_at(dirfd(listing), child.c_str());
        closedir(listing);
    } else {
        close(directory);
    }
    unlinkat(parent, name, AT_REMOVEDIR);
}

}  // namespace

temp_directory::temp_directory() {
    char pattern[] = "/tmp/sfx-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return;
    }
    char real[PATH_MAX];
    path_ = realpath(made, real) != nullptr ? real : made;
}

temp_directory::~temp_directory() {
    if (!path_.empty()) remove_tree_at(AT_FDCWD, path_.c_str());
}

}  // namespace sfx::test
