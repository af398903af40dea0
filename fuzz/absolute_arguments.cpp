#include "fuzz/absolute_arguments.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/finding.h"

namespace sfx::fuzz {
namespace {

// `path` under the current directory, unless it is absolute already.
std::string absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char directory[PATH_MAX];
    if (getcwd(directory, sizeof directory) == nullptr)
        report_finding("cannot read the current directory");
    return std::string(directory) + "/" + path;
}

// The argument with any relative path in it made absolute.
std::string with_absolute_path(const std::string& argument) {
    if (argument.empty() || argument[0] != '-') return absolute(argument);
    static const char* const path_flags[] = {
        "-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-features_dir="};
    for (const char* flag : path_flags) {
        const size_t flag_length = strlen(flag);
        if (argument.compare(0, flag_length, flag) == 0)
            return flag + absolute(argument.substr(flag_length));
    }
    return argument;
}

}  // namespace

void make_path_arguments_absolute(int* argc, char*** argv) {
    static std::vector<std::string> arguments;
    static std::vector<char*> pointers;
    arguments.assign(*argv, *argv + *argc);
    // argv[0] is the program, which libFuzzer runs again for -fork and -jobs
    // by the name it was given; it is left as it is.
    for (size_t i = 1; i < arguments.size(); ++i)
        arguments[i] = with_absolute_path(arguments[i]);
    pointers.clear();
    for (std::string& argument : arguments)
        pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);
    *argv = pointers.data();
}

}  // namespace sfx::fuzz
