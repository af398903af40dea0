#include "fuzz/extraction_sandbox.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/finding.h"

namespace sfx::fuzz {
namespace {

constexpr char SENTINEL_NAME[] = "sentinel";  // PLANTED_LINK_TARGET points here
constexpr char SCRATCH_NAME[] = "scratch";
// Contents a stray write would be unlikely to reproduce.
constexpr char SENTINEL_CONTENTS[] = "sentinel: must never change\n";

std::string sandbox_root;
struct stat scratch_identity;

// The names in `directory` but "." and "..", sorted.
std::vector<std::string> entries_of(const std::string& directory) {
    std::vector<std::string> names;
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) report_finding("cannot list %s", directory.c_str());
    while (const dirent* entry = readdir(listing))
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}

// Run at exit, so that runs leave no directories behind in $TMPDIR.
void remove_sandbox() {
    if (sandbox_root.empty()) return;
    clear_scratch_directory();
    if (chdir(sandbox_root.c_str()) == 0) {
        rmdir(SCRATCH_NAME);
        unlink(SENTINEL_NAME);
    }
    rmdir(sandbox_root.c_str());
}

}  // namespace

void enter_extraction_sandbox() {
    const char* temporary = getenv("TMPDIR");
    std::string pattern =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/sfx-fuzz-extraction.XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) report_finding("cannot create %s", pattern.c_str());
    sandbox_root = pattern;
    const std::string sentinel = sandbox_root + "/" + SENTINEL_NAME;
    FILE* file = fopen(sentinel.c_str(), "wb");
    if (file == nullptr || fputs(SENTINEL_CONTENTS, file) < 0 || fclose(file) != 0)
        report_finding("cannot write %s", sentinel.c_str());
    const std::string scratch = sandbox_root + "/" + SCRATCH_NAME;
    if (mkdir(scratch.c_str(), 0700) != 0 || chdir(scratch.c_str()) != 0 ||
        stat(".", &scratch_identity) != 0)
        report_finding("cannot enter %s", scratch.c_str());
    atexit(remove_sandbox);
}

void clear_scratch_directory() {
    for (const std::string& name : entries_of("."))
        remove(name.c_str());
}

void reset_scratch_directory() {
    clear_scratch_directory();
    if (symlink(PLANTED_LINK_TARGET, PLANTED_LINK_NAME) != 0)
        report_finding("cannot plant the link %s", PLANTED_LINK_NAME);
}

void check_outside_scratch_unchanged() {
    struct stat current;
    if (stat(".", &current) != 0 || current.st_dev != scratch_identity.st_dev ||
        current.st_ino != scratch_identity.st_ino)
        report_finding("the current directory is no longer the scratch directory");
    const std::vector<std::string> around = entries_of(sandbox_root);
    if (around != std::vector<std::string>{SCRATCH_NAME, SENTINEL_NAME})
        report_finding(
            "the directory around scratch holds %zu entries, not the sentinel and "
            "scratch alone",
            around.size());
    const std::string sentinel = sandbox_root + "/" + SENTINEL_NAME;
    struct stat sentinel_status;
    if (lstat(sentinel.c_str(), &sentinel_status) != 0 || !S_ISREG(sentinel_status.st_mode) ||
        file_contents(sentinel) != SENTINEL_CONTENTS)
        report_finding("the sentinel file outside the scratch directory changed");
}

std::vector<std::string> scratch_entries() {
    return entries_of(".");
}

std::string file_contents(const std::string& path) {
    std::string contents;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return contents;
    char chunk[4096];
    size_t count;
    while ((count = fread(chunk, 1, sizeof chunk, file)) > 0)
        contents.append(chunk, count);
    fclose(file);
    return contents;
}

}  // namespace sfx::fuzz
