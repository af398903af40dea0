// The one way the tests start a program: fork, prepare the child, exec, wait
// with a deadline, and collect its status and output.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sfx::test {

// Which program to start, and how.
struct process_request {
    std::string what = "the program";    // names the program in test failures
    std::string executable;              // the file to start; a bare name with search_path
    std::vector<std::string> arguments;  // argv, argv[0] included
    std::string directory;               // the program's current directory
    // The program's environment; the test's own when not set.
    std::optional<std::vector<std::string>> environment;
    bool search_path = false;     // look `executable` up in PATH
    int program_descriptor = -1;  // start this open file instead of `executable`
    long file_size_limit = -1;    // RLIMIT_FSIZE, when >= 0
    // Standard error is a pipe that nobody reads: a write to it fails with
    // EPIPE and raises SIGPIPE.
    bool standard_error_closed = false;
    // Run as this user (and group of the same number), without supplementary
    // groups; only a test running as root can switch.
    std::optional<uid_t> user;
    // Past this the program is killed and the test fails.
    std::chrono::milliseconds time_limit{60000};
    // Called in the test while the program runs, before it is waited for.
    std::function<void(pid_t)> while_running;
    // Called in the test with the exit status once the program has ended,
    // before its output is read: a program it started may still be writing.
    std::function<void(int status)> after_exit;
};

// What the program did.
struct process_result {
    int status = -1;  // the exit status; 128 + signal number when killed
    std::string standard_output;
    std::string standard_error;
};

// Runs the program `request` describes, in its directory under umask 022 (so
// that the modes of created files are known), with standard input from
// /dev/null and no descriptor of the test's beyond the standard three (and
// program_descriptor), and waits for it. Its standard output and error go to
// unnamed files, so that nothing appears in the directory under test. SIGPIPE
// and SIGXFSZ start at their default action, which ends the process: a
// program that must survive a closed pipe or a file-size limit has to ignore
// them itself. A program that cannot be prepared or started fails the current
// test (status 125 or 126).
process_result run_process(const process_request& request);

}  // namespace sfx::test
