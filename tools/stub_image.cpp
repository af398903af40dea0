// Finding and checking the stub image that `sfxpack create` puts first.
#include "tools/stub_image.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "src/platform/platform.h"
#include "src/stub.h"

namespace sfx::pack {
namespace {

namespace fs = std::filesystem;

struct target_info {
    const char* name;
    const char* preset;  // the CMake preset that builds it
    const char* file;
};
#ifdef _WIN32
const char NATIVE_STUB[] = "sfxstub.exe";
#else
const char NATIVE_STUB[] = "sfxstub";
#endif
const target_info TARGETS[] = {{"windows-i686", "mingw-i686", "sfxstub.exe"},
                               {"windows-x86_64", "mingw-x86_64", "sfxstub.exe"},
                               {"native", "native", NATIVE_STUB}};

// The directory sfxpack runs from; empty when unknown.
fs::path own_directory() {
    const char* own_path = sfx::own_executable_path();
    return own_path != nullptr ? fs::path(own_path).parent_path() : fs::path();
}

bool is_file(const fs::path& path) {
    std::error_code failure;
    return fs::is_regular_file(path, failure);
}

// Where `needle` first stands in `haystack`, or false.
bool contains(const std::vector<char>& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

}  // namespace

bool locate_stub(const std::string& target, std::string& path, std::string& error) {
    const target_info* info = nullptr;
    for (const target_info& known : TARGETS)
        if (target == known.name) info = &known;
    if (info == nullptr) {
        error = "unknown target '" + target + "' (windows-i686, windows-x86_64 or native)";
        return false;
    }
    const fs::path directory = own_directory();
    std::vector<fs::path> candidates = {
        directory / ".." / "share" / "sfx" / "stubs" / info->name / info->file,  // installed
        directory / ".." / ".." / info->preset / "bin" / info->file,             // build tree
    };
    if (target == "native") candidates.insert(candidates.begin(), directory / info->file);
    for (const fs::path& candidate : candidates)
        if (is_file(candidate)) {
            path = candidate.lexically_normal().string();
            return true;
        }
    error = std::string("no ") + info->name +
            " stub found beside sfxpack; build it with `cmake --preset " + info->preset +
            " && cmake --build --preset " + info->preset + "`, or give --stub STUB";
    return false;
}

bool check_stub_image(const std::string& path, std::string& error) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": cannot open the stub image";
        return false;
    }
    std::vector<char> bytes;
    char block[65536];
    for (size_t got; (got = fread(block, 1, sizeof block, file)) > 0;)
        bytes.insert(bytes.end(), block, block + got);
    const bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        error = path + ": cannot read the stub image";
        return false;
    }
    const bool pe = bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z';
    const bool elf = bytes.size() >= 4 && std::equal(bytes.begin(), bytes.begin() + 4,
                                                     "\x7F"
                                                     "ELF");
    if (!pe && !elf) {
        error = path + ": not a program image (no PE or ELF header), so not a stub";
        return false;
    }
    // Each half with its own NUL, as the stub keeps them so that its image
    // never holds the whole marker.
    const std::string vendor(sfx::marker_vendor, sizeof sfx::marker_vendor);
    const std::string suffix(sfx::marker_suffix, sizeof sfx::marker_suffix);
    if (!contains(bytes, vendor) || !contains(bytes, suffix)) {
        error = path + ": a program, but not a stub (it does not search for the table marker)";
        return false;
    }
    return true;
}

}  // namespace sfx::pack
