#include "support/stub_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "support/package_builder.h"
#include "support/packer_runner.h"  // directory_names

extern char** environ;

namespace sfx_test {
namespace {

const char* environment_value(const char* name) {
    const char* value = getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::vector<std::string> runner_prefix() {
    std::vector<std::string> words;
    if (const char* runner = environment_value("SFX_TEST_RUNNER")) {
        std::istringstream in(runner);
        for (std::string word; in >> word;) words.push_back(word);
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

// Removes `name` in the directory `parent` and everything below it; relative
// to descriptors, so that paths longer than the system's limit go too.
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
        for (const std::string& child : names) remove_tree_at(dirfd(listing), child.c_str());
        closedir(listing);
    } else {
        close(directory);
    }
    unlinkat(parent, name, AT_REMOVEDIR);
}

std::string read_or_empty(const std::string& path) {
    return access(path.c_str(), F_OK) == 0 ? read_file(path) : std::string();
}

std::map<std::string, LeftFile> list_files(const std::string& directory) {
    std::map<std::string, LeftFile> files;
    for (const std::string& name : directory_names(directory)) {
        if (name == SETUP_RECORD_NAME) continue;
        std::string path = directory + "/" + name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) continue;
        LeftFile file;
        file.mode = info.st_mode & 07777;
        if (S_ISREG(info.st_mode)) {
            file.content = read_file(path);
        } else if (S_ISLNK(info.st_mode)) {
            file.kind = LeftFile::symlink;
            char target[PATH_MAX];
            ssize_t length = readlink(path.c_str(), target, sizeof target);
            if (length > 0) file.content.assign(target, static_cast<size_t>(length));
        } else {
            file.kind = LeftFile::other;
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

int unique_number() {
    static int counter = 0;
    return ++counter;
}

}  // namespace

bool runner_active() { return environment_value("SFX_TEST_RUNNER") != nullptr; }

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

std::optional<SetupRecord> parse_setup_record(const std::string& text) {
    std::istringstream in(normalized_error(text));
    SetupRecord record;
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

StubSandbox::StubSandbox() {
    char pattern[] = "/tmp/sfxstub-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return;
    }
    // The real path, so that it compares equal to what SETUP.EXE records.
    char real[PATH_MAX];
    root_ = realpath(made, real) != nullptr ? real : made;
    work_dir_ = root_ + "/work";
    package_path_ = root_ + "/package/package.exe";
    mkdir(work_dir_.c_str(), 0755);
    mkdir((root_ + "/package").c_str(), 0755);
}

StubSandbox::~StubSandbox() {
    if (!root_.empty()) remove_tree_at(AT_FDCWD, root_.c_str());
}

int StubSandbox::write_deep_package(const std::string& bytes) {
    // Each level's name as long as a name may be; twenty of them exceed
    // any path limit.
    const std::string level(250, 'd');
    int directory = open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

void StubSandbox::write_package(const std::string& bytes) {
    write_file(package_path_, bytes, 0755);
}

void StubSandbox::write_stub_package(const std::string& archive) {
    write_package(stub_image() + archive);
}

StubRun StubSandbox::run(const RunOptions& options) {
    StubRun result;
    result.given_variable =
        "inherited value " + std::to_string(getpid()) + "-" + std::to_string(unique_number());
    std::string program = options.program ? *options.program : package_path_;
    std::vector<std::string> words = runner_prefix();
    bool prefixed = !words.empty();
    words.push_back(options.argv0 && !prefixed ? *options.argv0 : program);
    words.insert(words.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::string executable = prefixed ? words.front() : program;

    // The stub's environment: the test's own, with the variable SETUP.EXE reports.
    std::vector<std::string> environment_words;
    std::string variable_prefix = std::string(SETUP_VARIABLE) + "=";
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::string(*entry).rfind(variable_prefix, 0) != 0) environment_words.push_back(*entry);
    environment_words.push_back(variable_prefix + result.given_variable);
    std::vector<char*> envp;
    for (std::string& word : environment_words) envp.push_back(word.data());
    envp.push_back(nullptr);

    std::string output_path = root_ + "/stdout";
    std::string error_path = root_ + "/stderr";

    int package_descriptor = options.program_descriptor;
    if (options.exec_unlinked) {
        package_descriptor = open(package_path_.c_str(), O_RDONLY | O_CLOEXEC);
        unlink(package_path_.c_str());
    }

    pid_t child = fork();
    if (child < 0) {
        ADD_FAILURE() << "fork: " << strerror(errno);
        return result;
    }
    if (child == 0) {
        // Only async-signal-safe calls until the exec.
        int input = open("/dev/null", O_RDONLY);
        int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int error = open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (input < 0 || output < 0 || error < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 ||
            dup2(error, 2) < 0 || chdir(work_dir_.c_str()) != 0)
            _exit(125);
        // The stub gets the three standard streams and nothing else of the
        // test's, so that whatever else SETUP.EXE holds is the stub's doing.
        // The package's descriptor closes itself at the exec.
        close_descriptors_from(3, package_descriptor);
        // A known umask, so that the tests know the modes of created files.
        umask(022);
        if (options.file_size_limit >= 0) {
            // Past the limit a write fails with EFBIG instead of killing the process.
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
        }
        if (options.ignore_sigpipe) signal(SIGPIPE, SIG_IGN);
        if (package_descriptor >= 0)
            fexecve(package_descriptor, argv.data(), envp.data());
        else if (prefixed)
            execvpe(executable.c_str(), argv.data(), envp.data());  // the runner may be a bare name
        else
            execve(executable.c_str(), argv.data(), envp.data());
        _exit(126);
    }
    if (options.exec_unlinked) close(package_descriptor);
    if (options.while_running) options.while_running(child);

    int wait_status = 0;
    auto deadline = std::chrono::steady_clock::now() + stub_wait();
    for (;;) {
        pid_t done = waitpid(child, &wait_status, WNOHANG);
        if (done == child) break;
        if (done < 0 || std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &wait_status, 0);
            ADD_FAILURE() << "the stub did not end in time";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    EXPECT_NE(result.status, 125) << "the test could not prepare the stub's process";
    EXPECT_NE(result.status, 126) << "the stub could not be started: " << executable;

    if (options.after_exit) options.after_exit();

    // SETUP.EXE runs on after the stub has exited; its record may come later.
    std::string record_path = work_dir_ + "/" + SETUP_RECORD_NAME;
    auto wait_for = result.status == 0 && options.expect_setup ? setup_wait() : STRAY_SETUP_GRACE;
    auto record_deadline = std::chrono::steady_clock::now() + wait_for;
    while (access(record_path.c_str(), F_OK) != 0 &&
           std::chrono::steady_clock::now() < record_deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (access(record_path.c_str(), F_OK) == 0) {
        result.setup = parse_setup_record(read_file(record_path));
    }

    result.standard_output = read_or_empty(output_path);
    result.standard_error = without_sanitizer_notes(read_or_empty(error_path));
    result.files = list_files(work_dir_);
    return result;
}

}  // namespace sfx_test
