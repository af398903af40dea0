#include "tests/support/process_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace sfx::test {
namespace {

// Statuses the child reports for its own failures, before the program runs.
constexpr int PREPARATION_FAILED = 125;
constexpr int START_FAILED = 126;

// Closes every descriptor from `first` on but `keep` (ignored when below
// `first`); safe between fork and exec.
void close_descriptors_from(int first, int keep) {
#ifdef SYS_close_range
    const unsigned all = ~0U;
    bool closed = keep < first
                      ? syscall(SYS_close_range, first, all, 0) == 0
                      : (keep == first || syscall(SYS_close_range, first, keep - 1, 0) == 0) &&
                            syscall(SYS_close_range, keep + 1, all, 0) == 0;
    if (closed) return;
#endif
    int highest = static_cast<int>(sysconf(_SC_OPEN_MAX));
    for (int descriptor = first; descriptor < highest; ++descriptor)
        if (descriptor != keep) close(descriptor);
}

std::string read_whole(FILE* stream) {
    std::string text;
    rewind(stream);
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, stream)) > 0;)
        text.append(buffer, got);
    return text;
}

// argv or envp for exec: pointers into `words`, null-terminated.
std::vector<char*> pointers_to(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Runs in the child: only async-signal-safe calls until the exec.
[[noreturn]] void become_program(const process_request& request, int output, int error,
                                 char* const* argv, char* const* envp) {
    int input = open("/dev/null", O_RDONLY);
    if (input < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(error, 2) < 0 ||
        chdir(request.directory.c_str()) != 0)
        _exit(PREPARATION_FAILED);
    if (request.standard_error_closed) {
        int ends[2];
        if (pipe(ends) != 0 || close(ends[0]) != 0 || dup2(ends[1], 2) < 0)
            _exit(PREPARATION_FAILED);
    }
    // Whatever the test inherited (a shell may ignore SIGPIPE), the program
    // starts with the actions it would get from a terminal.
    signal(SIGPIPE, SIG_DFL);
    signal(SIGXFSZ, SIG_DFL);
    // Whatever else the program holds is its own doing. A descriptor to
    // start closes itself at the exec.
    close_descriptors_from(3, request.program_descriptor);
    umask(022);
    if (request.file_size_limit >= 0) {
        rlimit limit{static_cast<rlim_t>(request.file_size_limit),
                     static_cast<rlim_t>(request.file_size_limit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(PREPARATION_FAILED);
    }
    if (request.user &&
        (setgroups(0, nullptr) != 0 || setgid(*request.user) != 0 || setuid(*request.user) != 0))
        _exit(PREPARATION_FAILED);
    if (request.program_descriptor >= 0)
        fexecve(request.program_descriptor, argv, envp);
    else if (request.search_path)
        execvpe(request.executable.c_str(), argv, envp);
    else
        execve(request.executable.c_str(), argv, envp);
    _exit(START_FAILED);
}

}  // namespace

process_result run_process(const process_request& request) {
    process_result result;
    std::vector<std::string> argument_words = request.arguments;
    std::vector<char*> argv = pointers_to(argument_words);
    std::vector<std::string> environment_words;
    if (request.environment)
        environment_words = *request.environment;
    else
        for (char** entry = environ; *entry != nullptr; ++entry)
            environment_words.push_back(*entry);
    std::vector<char*> envp = pointers_to(environment_words);

    FILE* output = tmpfile();
    FILE* error = tmpfile();
    if (output == nullptr || error == nullptr) {
        ADD_FAILURE() << "tmpfile: " << strerror(errno);
        if (output != nullptr) fclose(output);
        if (error != nullptr) fclose(error);
        return result;
    }

    pid_t child = fork();
    if (child == 0)
        become_program(request, fileno(output), fileno(error), argv.data(), envp.data());
    if (child < 0) {
        ADD_FAILURE() << "fork: " << strerror(errno);
    } else {
        if (request.while_running) request.while_running(child);
        int wait_status = 0;
        auto deadline = std::chrono::steady_clock::now() + request.time_limit;
        for (;;) {
            pid_t done = waitpid(child, &wait_status, WNOHANG);
            if (done == child) break;
            if (done < 0 || std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &wait_status, 0);
                ADD_FAILURE() << request.what << " did not end in time";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        result.status =
            WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
        EXPECT_NE(result.status, PREPARATION_FAILED)
            << "the test could not prepare the process of " << request.what;
        EXPECT_NE(result.status, START_FAILED)
            << request.what << " could not be started: " << request.executable;
        if (request.after_exit) request.after_exit(result.status);
    }
    result.standard_output = read_whole(output);
    result.standard_error = read_whole(error);
    fclose(output);
    fclose(error);
    return result;
}

}  // namespace sfx::test
