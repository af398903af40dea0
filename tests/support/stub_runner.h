// Runs a stub binary, with a package appended, in a fresh temporary directory
// and collects everything it did: exit status, standard error and output, the
// files it left and what SETUP.EXE recorded.
//
// The same harness can test another build of the stub under an emulator:
//   SFX_TEST_STUB   the stub to test (default: the native build's sfxstub)
//   SFX_TEST_RUNNER a command prefix, split at blanks, that starts it
//                   (e.g. "/usr/lib/wine/wine64")
//   SFX_TEST_SETUP  a program file to pack as SETUP.EXE instead of the shell
//                   recorder; it must write the record described below.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/temp_directory.h"

namespace sfx::test {

// The record SETUP.EXE leaves: a file of this name in its current directory,
// three lines "command line: ...", "directory: ...", "variable: ...", the last
// the value of SETUP_VARIABLE in its environment. A recorder writes it under
// another name first and renames it, so a record that exists is complete.
constexpr const char SETUP_RECORD_NAME[] = "SETUP.LOG";
constexpr const char SETUP_VARIABLE[] = "SFX_TEST_VARIABLE";

// One record, line by line.
struct setup_record {
    std::string command_line;
    std::string directory;
    std::string variable;
};

// Parses a record; fails the current test on a malformed one.
std::optional<setup_record> parse_setup_record(const std::string& text);

// True when `recorded`, a directory SETUP.EXE reported, is `directory`; under
// a runner only the last two components can be compared.
bool same_directory(const std::string& recorded, const std::string& directory);

// The bytes to pack as SETUP.EXE: SFX_TEST_SETUP's file, or a shell script
// that records how it was started.
std::string setup_program();

// The executable image to put in front of every test package: SFX_TEST_STUB's
// file, or the native sfxstub.
const std::string& stub_image();

// True when SFX_TEST_RUNNER is set: then the stub is not a native program and
// POSIX-only cases skip themselves.
bool runner_active();

// Runs `arguments`, a program of the emulated system and its arguments
// (under Wine {"cmd", "/c", "dir"}), through SFX_TEST_RUNNER in `directory`.
process_result run_with_runner(const std::vector<std::string>& arguments,
                               const std::string& directory);

// Standard error as the stub wrote it, with CRLF line ends turned into LF when
// a runner (a Windows stub) is used, where they are the normal line end.
std::string normalized_error(const std::string& text);

// One directory entry the stub left behind.
struct left_file {
    enum kind_of_file { regular, symlink, other } kind = regular;
    std::string content;  // a regular file's bytes, a link's target
    unsigned mode = 0;    // permission bits

    bool operator==(const left_file& that) const {
        return kind == that.kind && content == that.content && mode == that.mode;
    }
};

// What one run of the stub did.
struct stub_run {
    int status = -1;  // the exit status; 128 + signal number when killed
    std::string standard_error;
    std::string standard_output;
    std::map<std::string, left_file> files;  // the work directory, the setup record left out
    std::optional<setup_record> setup;       // what SETUP.EXE recorded, if it ran
    std::string given_variable;              // SETUP_VARIABLE's value in the stub's environment
};

// How to start the stub; the defaults start the package by its path, with no
// arguments, and wait for SETUP.EXE's record after a successful run.
struct run_options {
    std::vector<std::string> arguments;  // after argv[0]
    std::optional<std::string> argv0;    // default: the path that is started
    std::optional<std::string> program;  // path to start, relative to the work
                                         // directory; default: the package
    long file_size_limit = -1;           // RLIMIT_FSIZE for the stub, when >= 0
    bool standard_error_closed = false;  // standard error a pipe nobody reads
    bool exec_unlinked = false;          // remove the package and start it by descriptor
    bool unprivileged = false;           // when the test runs as root, run as nobody
    int program_descriptor = -1;         // start this open file instead of a path
    bool expect_setup = true;            // wait for SETUP.EXE's record after status 0
    // Called in the test while the stub runs, before it is waited for.
    std::function<void(pid_t)> while_running;
    // Called in the test once the stub has ended, before SETUP.EXE's record
    // is waited for.
    std::function<void()> after_exit;
};

// A temporary directory with two folders: package/ holding the package file,
// work/ as the stub's current directory. Removed, whole, on destruction.
class stub_sandbox {
public:
    // Makes the directory and its two folders; fails the current test (and
    // leaves every path empty) when it cannot.
    stub_sandbox();
    // Unmounts the small disk, if any, before the directory goes.
    ~stub_sandbox();
    stub_sandbox(const stub_sandbox&) = delete;
    stub_sandbox& operator=(const stub_sandbox&) = delete;

    // The sandbox itself, its real path.
    const std::string& root() const { return directory_.path(); }
    // root()/work: the stub's current directory.
    const std::string& work_dir() const { return work_dir_; }
    // root()/package/package.exe: the package file that run() starts.
    const std::string& package_path() const { return package_path_; }

    // Writes the package file (executable); `bytes` is the whole file.
    void write_package(const std::string& bytes);
    // The stub image followed by `archive`, as the package file.
    void write_stub_package(const std::string& archive);

    // Writes a package file under root()/deep/, in a directory so deep that
    // its path exceeds every path limit, and returns a descriptor to start it
    // by (the caller closes it); -1 on failure.
    int write_deep_package(const std::string& bytes);

    // Mounts a tmpfs of `bytes` on work/: a disk that fills up. False, with
    // errno set, when it cannot (it needs root).
    bool mount_small_work_disk(size_t bytes);

    // Runs the stub in work/ and collects what it did.
    stub_run run(const run_options& options = {});

private:
    temp_directory directory_;
    bool work_disk_mounted_ = false;
    std::string work_dir_;
    std::string package_path_;
};

}  // namespace sfx::test
