#include "tests/support/stub_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "tests/support/process_runner.h"
#include "tests/support/test_files.h"

extern char** environ;

namespace sfx::test {
namespace {

const char* environment_value(const char* name) {
    const char* value = getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::vector<std::string> runner_prefix() {
    std::vector<std::string> words;
    if (const char* runner = environment_value("SFX_TEST_RUNNER")) {
        std::istringstream in(runner);
        for (std::string word; in >> word;)
            words.push_back(word);
    }
    return words;
}

// An emulator needs far longer to start a program than a native run.
std::chrono::milliseconds setup_wait() {
    return std::chrono::milliseconds(runner_active() ? 60000 : 15000);
}
std::chrono::milliseconds stub_wait() {
    return std::chrono::milliseconds(runner_active() ? 120000 : 60000);
}
// How long a run that must not start SETUP.EXE is watched for one anyway.
constexpr std::chrono::milliseconds STRAY_SETUP_GRACE{300};

// Records argv, the current directory and the variable, then exits. $0 is the
// path the program was started by, so "./SETUP.EXE" or a full path would show.
const char SHELL_RECORDER[] =
    "#!/bin/sh\n"
    "# Records how it was started, for the stub's tests, and exits.\n"
    "command_line=$0\n"
    "for argument in \"$@\"; do command_line=\"$command_line $argument\"; done\n"
    "printf 'command line: %s\\ndirectory: %s\\nvariable: %s\\n' \"$command_line\" \"$(pwd -P)\" "
    "\"${SFX_TEST_VARIABLE-}\" > SETUP.LOG.part\n"
    "mv SETUP.LOG.part SETUP.LOG\n";

std::map<std::string, left_file> list_files(const std::string& directory) {
    std::map<std::string, left_file> files;
    for (const std::string& name : directory_names(directory)) {
        if (name == SETUP_RECORD_NAME) continue;
        std::string path = directory + "/" + name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) continue;
        left_file file;
        file.mode = info.st_mode & 07777;
        if (S_ISREG(info.st_mode)) {
            file.content = read_file(path);
        } else if (S_ISLNK(info.st_mode)) {
            file.kind = left_file::symlink;
            char target[PATH_MAX];
            ssize_t length = readlink(path.c_str(), target, sizeof target);
            if (length > 0) file.content.assign(target, static_cast<size_t>(length));
        } else {
            file.kind = left_file::other;
        }
        files.emplace(name, file);
    }
    return files;
}

// The sanitizer runtime of an instrumented stub notes on standard error when
// it cannot learn the program's path either; that note is not the stub's.
// Every other sanitizer line stays, so a real finding still fails the test.
std::string without_sanitizer_notes(const std::string& text) {
    std::string kept;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        size_t end_of_pid = line.rfind("==WARNING: reading executable name failed", 200);
        bool note = line.rfind("==", 0) == 0 && end_of_pid != std::string::npos && end_of_pid > 2 &&
                    line.find_first_not_of("0123456789", 2) == end_of_pid;
        if (!note) kept += line + (in.eof() ? "" : "\n");
    }
    return kept;
}

int unique_number() {
    static int counter = 0;
    return ++counter;
}

// The test's own environment, with SETUP_VARIABLE set to `value` for SETUP.EXE
// to report.
std::vector<std::string> environment_with_variable(const std::string& value) {
    std::vector<std::string> words;
    std::string variable_prefix = std::string(SETUP_VARIABLE) + "=";
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::string(*entry).rfind(variable_prefix, 0) != 0) words.push_back(*entry);
    words.push_back(variable_prefix + value);
    return words;
}

}  // namespace

bool runner_active() {
    return environment_value("SFX_TEST_RUNNER") != nullptr;
}

process_result run_with_runner(const std::vector<std::string>& arguments,
                               const std::string& directory) {
    process_request request;
    request.what = "a program under the runner";
    request.arguments = runner_prefix();
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.executable = request.arguments.front();
    request.search_path = true;
    request.directory = directory;
    request.time_limit = stub_wait();
    return run_process(request);
}

std::string normalized_error(const std::string& text) {
    if (!runner_active()) return text;
    std::string result;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) result += text[i];
    return result;
}

bool same_directory(const std::string& recorded, const std::string& directory) {
    if (!runner_active()) return recorded == directory;
    // An emulated system shows the directory in its own form (a drive letter,
    // backslashes, any letter case); its last two components, the sandbox's
    // unique name and "work", still have to match.
    auto tail = [](const std::string& path) {
        std::string lowered;
        for (char c : path)
            lowered += c == '\\' ? '/' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
        size_t last = lowered.find_last_of('/');
        size_t before = last == std::string::npos || last == 0
                            ? std::string::npos
                            : lowered.find_last_of('/', last - 1);
        return before == std::string::npos ? lowered : lowered.substr(before + 1);
    };
    return tail(recorded) == tail(directory);
}

std::optional<setup_record> parse_setup_record(const std::string& text) {
    std::istringstream in(normalized_error(text));
    setup_record record;
    const std::pair<const char*, std::string*> lines[] = {{"command line: ", &record.command_line},
                                                          {"directory: ", &record.directory},
                                                          {"variable: ", &record.variable}};
    for (const auto& [label, field] : lines) {
        std::string line;
        if (!std::getline(in, line) || line.rfind(label, 0) != 0) {
            ADD_FAILURE() << "malformed setup record:\n" << text;
            return std::nullopt;
        }
        *field = line.substr(strlen(label));
    }
    // Windows hands a program started with a null command line its bare
    // application name; Wine puts that name in quotes.
    const std::string& line = record.command_line;
    if (runner_active() && line.size() >= 2 && line.front() == '"' && line.back() == '"')
        record.command_line = line.substr(1, line.size() - 2);
    return record;
}

std::string setup_program() {
    if (const char* path = environment_value("SFX_TEST_SETUP")) return read_file(path);
    return SHELL_RECORDER;
}

const std::string& stub_image() {
    static const std::string image = [] {
        const char* path = environment_value("SFX_TEST_STUB");
        return read_file(path != nullptr ? path : SFX_BIN_DIR "/sfxstub");
    }();
    return image;
}

stub_sandbox::stub_sandbox() {
    // The test has failed already; nothing may be written outside a sandbox.
    if (root().empty()) return;
    work_dir_ = root() + "/work";
    package_path_ = root() + "/package/package.exe";
    mkdir(work_dir_.c_str(), 0755);
    mkdir((root() + "/package").c_str(), 0755);
}

stub_sandbox::~stub_sandbox() {
    // Detached, so that a process still inside cannot keep it from going.
    if (work_disk_mounted_) umount2(work_dir_.c_str(), MNT_DETACH);
}

bool stub_sandbox::mount_small_work_disk(size_t bytes) {
    std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    work_disk_mounted_ =
        mount("tmpfs", work_dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    return work_disk_mounted_;
}

int stub_sandbox::write_deep_package(const std::string& bytes) {
    // Each level's name as long as a name may be; twenty of them exceed
    // any path limit.
    const std::string level(250, 'd');
    int directory = open(root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int depth = 0; depth < 20 && directory >= 0; ++depth) {
        const char* name = depth == 0 ? "deep" : level.c_str();
        mkdirat(directory, name, 0755);
        int below = openat(directory, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(directory);
        directory = below;
    }
    if (directory < 0) {
        ADD_FAILURE() << "cannot make the deep directory: " << strerror(errno);
        return -1;
    }
    int file = openat(directory, "package.exe", O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    close(directory);
    if (file < 0 || write(file, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        ADD_FAILURE() << "cannot write the deep package: " << strerror(errno);
        if (file >= 0) close(file);
        return -1;
    }
    // A descriptor open for writing cannot be executed.
    int runnable = open(("/proc/self/fd/" + std::to_string(file)).c_str(), O_RDONLY | O_CLOEXEC);
    close(file);
    return runnable;
}

void stub_sandbox::write_package(const std::string& bytes) {
    write_file(package_path_, bytes, 0755);
}

void stub_sandbox::write_stub_package(const std::string& archive) {
    write_package(stub_image() + archive);
}

stub_run stub_sandbox::run(const run_options& options) {
    stub_run result;
    result.given_variable =
        "inherited value " + std::to_string(getpid()) + "-" + std::to_string(unique_number());

    process_request request;
    request.what = "the stub";
    std::string program = options.program ? *options.program : package_path_;
    request.arguments = runner_prefix();
    request.search_path = !request.arguments.empty();  // the runner may be a bare name
    request.arguments.push_back(options.argv0 && !request.search_path ? *options.argv0 : program);
    request.arguments.insert(request.arguments.end(), options.arguments.begin(),
                             options.arguments.end());
    request.executable = request.search_path ? request.arguments.front() : program;
    request.directory = work_dir_;
    request.environment = environment_with_variable(result.given_variable);
    request.file_size_limit = options.file_size_limit;
    request.standard_error_closed = options.standard_error_closed;
    // Root reads any file whatever its mode; nobody (65534) is bound by it.
    if (options.unprivileged && geteuid() == 0) request.user = 65534;
    request.time_limit = stub_wait();
    request.while_running = options.while_running;

    request.program_descriptor = options.program_descriptor;
    if (options.exec_unlinked) {
        request.program_descriptor = open(package_path_.c_str(), O_RDONLY | O_CLOEXEC);
        unlink(package_path_.c_str());
    }
    request.while_running = [&](pid_t stub) {
        // The child has its own copy of the descriptor to start.
        if (options.exec_unlinked) close(request.program_descriptor);
        if (options.while_running) options.while_running(stub);
    };

    // SETUP.EXE runs on after the stub has exited; its record may come later.
    std::string record_path = work_dir_ + "/" + SETUP_RECORD_NAME;
    request.after_exit = [&](int status) {
        if (options.after_exit) options.after_exit();
        auto wait_for = status == 0 && options.expect_setup ? setup_wait() : STRAY_SETUP_GRACE;
        auto record_deadline = std::chrono::steady_clock::now() + wait_for;
        while (access(record_path.c_str(), F_OK) != 0 &&
               std::chrono::steady_clock::now() < record_deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };

    // Now and then (about one start in a thousand or two) wine64 ends with
    // status 1 before the stub runs: no output, nothing written. The stub
    // never exits with 1, so such a run is the runner's fault, and is started
    // again (at most twice), saying so.
    const auto files_before = list_files(work_dir_);
    process_result ran = run_process(request);
    for (int retry = 0;
         retry < 2 && runner_active() && ran.status == 1 && ran.standard_error.empty() &&
         ran.standard_output.empty() && list_files(work_dir_) == files_before;
         ++retry) {
        fprintf(stderr, "note: the runner ended with status 1 before the stub ran; again\n");
        ran = run_process(request);
    }
    result.status = ran.status;
    if (access(record_path.c_str(), F_OK) == 0)
        result.setup = parse_setup_record(read_file(record_path));
    result.standard_output = ran.standard_output;
    result.standard_error = without_sanitizer_notes(ran.standard_error);
    result.files = list_files(work_dir_);
    return result;
}

}  // namespace sfx::test
