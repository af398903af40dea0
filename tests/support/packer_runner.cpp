#include "support/packer_runner.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

namespace sfx_test {
namespace {

std::string read_whole(FILE* stream) {
    std::string text;
    rewind(stream);
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, stream)) > 0;) text.append(buffer, got);
    return text;
}

}  // namespace

PackerRun run_packer(const std::vector<std::string>& arguments, const std::string& directory) {
    PackerRun result;
    std::string program = SFX_BIN_DIR "/sfxpack";
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    // Unnamed files, so that nothing appears in the directory under test.
    FILE* output = tmpfile();
    FILE* error = tmpfile();
    if (output == nullptr || error == nullptr) {
        ADD_FAILURE() << "tmpfile: " << strerror(errno);
        return result;
    }
    pid_t child = fork();
    if (child == 0) {
        if (dup2(fileno(output), 1) < 0 || dup2(fileno(error), 2) < 0 ||
            chdir(directory.c_str()) != 0)
            _exit(125);
        umask(022);
        execv(program.c_str(), argv.data());
        _exit(126);
    }
    int wait_status = 0;
    if (child < 0 || waitpid(child, &wait_status, 0) != child)
        ADD_FAILURE() << "cannot run " << program << ": " << strerror(errno);
    else
        result.status =
            WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    EXPECT_NE(result.status, 125) << "the test could not prepare sfxpack's process";
    EXPECT_NE(result.status, 126) << "sfxpack could not be started: " << program;
    result.standard_output = read_whole(output);
    result.standard_error = read_whole(error);
    fclose(output);
    fclose(error);
    return result;
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

}  // namespace sfx_test
