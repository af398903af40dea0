// The built stub, run as a user would run a package: in a fresh directory,
// with the archive appended to its own file. Each case states the whole
// outcome: status, standard error, the files left and whether SETUP.EXE ran.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "stub.h"
#include "support/package_builder.h"
#include "support/packer_runner.h"
#include "support/stub_runner.h"

namespace {

using sfx_test::LeftFile;
using sfx_test::PackageEntry;
using sfx_test::PackageLayout;
using sfx_test::StubRun;
using sfx_test::StubSandbox;

const char MARKER_MESSAGE[] = "Unable to locate Table Marker.\n";

std::string open_message(const std::string& name) {
    return "Unable to open output file " + name + ".\n";
}

// A body that differs at every position from every other one.
std::string body(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t at = 0; at < size; ++at)
        bytes[at] = static_cast<char>((at * 13 + seed * 101 + at / 509) & 0xFF);
    return bytes;
}

PackageEntry setup_entry() { return {sfx::SETUP_PROGRAM_NAME, sfx_test::setup_program(), {}}; }

// A table with SETUP.EXE among ordinary files, bodies across block sizes.
std::vector<PackageEntry> ordinary_entries() {
    return {{"DATA1.CAB", body(10000, 1), {}},
            setup_entry(),
            {"EMPTY.TXT", "", {}},
            {"BLOCK.BIN", body(4096, 2), {}},
            {"LICENSE1.TXT", body(4097, 3), {}},
            {"LAST.DAT", body(5, 4), {}}};
}

std::map<std::string, std::string> files_of(const std::vector<PackageEntry>& entries) {
    std::map<std::string, std::string> files;
    for (const PackageEntry& entry : entries) files[entry.name] = entry.body;
    return files;
}

struct Scenario {
    PackageLayout archive;  // its image is replaced by the stub's
    bool append_archive = true;
    std::map<std::string, std::string> existing;  // regular files in work/ before the run
    bool earlier_setup = false;                   // a SETUP.EXE of an earlier run lies in work/
    // Adjusts the archive once the stub's image stands in front of it.
    void (*finish)(PackageLayout&) = nullptr;
    // Prepares the sandbox once the package is written; may change the case.
    std::function<void(StubSandbox&, Scenario&)> prepare;
    sfx_test::RunOptions options;
    bool posix_only = false;   // symbolic links, rlimits, descriptors, argv[0]
    bool shell_setup = false;  // packs a SETUP.EXE script of its own
    int64_t grow_to = -1;      // make the package this long, sparse

    int status = 0;
    std::string error;                         // standard error, whole
    bool error_is_prefix = false;              // ... or its start
    std::string error_mentions;                // and a part of it that says what is wrong
    std::map<std::string, std::string> files;  // regular files left in work/
    std::set<std::string> others;              // other entries left in work/
    bool setup_runs = false;
    bool check_modes = false;  // SETUP.EXE created runnable, the others not
};

// What every failing run must show besides its own outcome: nothing
// written, SETUP.EXE of an earlier run still there and not started.
Scenario refused(PackageLayout archive, const std::string& error_start) {
    Scenario s;
    s.archive = std::move(archive);
    s.earlier_setup = true;
    s.status = sfx::FAILURE_STATUS;
    s.error = error_start;
    s.error_is_prefix = true;
    return s;
}

PackageLayout archive_of(std::vector<PackageEntry> entries) {
    PackageLayout layout;
    layout.entries = std::move(entries);
    return layout;
}

// A table the stub must refuse as a whole, for `problem`.
Scenario refused_table(PackageLayout archive, const std::string& problem) {
    Scenario s = refused(std::move(archive), "Invalid file table in ");
    s.error_mentions = problem;
    return s;
}

// ---------------------------------------------------------------------------

Scenario main_path() {
    Scenario s;
    s.archive = archive_of(ordinary_entries());
    s.files = files_of(s.archive.entries);
    s.setup_runs = true;
    s.check_modes = true;
    return s;
}

Scenario with_arguments() {
    Scenario s = main_path();
    s.options.arguments = {"-x", "SETUP.EXE", "--extract=/tmp", "/S", "", "Unable to"};
    return s;
}

Scenario by_relative_path() {
    Scenario s = main_path();
    s.options.program = "../package/package.exe";
    return s;
}

Scenario through_a_symlink() {
    Scenario s = main_path();
    s.posix_only = true;
    s.prepare = [](StubSandbox& sandbox, Scenario& self) {
        std::string link = sandbox.root() + "/link-to-package";
        ASSERT_EQ(symlink(sandbox.package_path().c_str(), link.c_str()), 0);
        self.options.program = link;
    };
    return s;
}

Scenario with_foreign_argv0() {
    Scenario s = main_path();
    s.posix_only = true;
    // A real program without a marker: a stub that read argv[0] would fail.
    s.options.argv0 = "/bin/sh";
    return s;
}

// A case whose SETUP.EXE is the shell recorder with `prelude` run first,
// packed after `entries`.
Scenario with_setup_prelude(const std::string& prelude, std::vector<PackageEntry> entries) {
    Scenario s;
    s.posix_only = true;
    s.shell_setup = true;
    std::string recorder = sfx_test::setup_program();
    entries.push_back(
        {"SETUP.EXE", "#!/bin/sh\n" + prelude + recorder.substr(recorder.find('\n') + 1), {}});
    s.archive = archive_of(entries);
    s.files = files_of(s.archive.entries);
    s.setup_runs = true;
    return s;
}

// SETUP.EXE records only once the test has seen the stub end (and then
// leaves a file GO): a stub that waited for it would never end.
Scenario not_waiting_for_setup() {
    Scenario s = with_setup_prelude(
        "tries=0\n"
        "while [ ! -e GO ]; do\n"
        "  tries=$((tries + 1)); [ $tries -lt 2000 ] || exit 1\n"
        "  sleep 0.01\n"
        "done\n",
        {});
    s.files["GO"] = "";
    s.prepare = [](StubSandbox& sandbox, Scenario& self) {
        std::string go = sandbox.work_dir() + "/GO";
        self.options.after_exit = [go] { sfx_test::write_file(go, ""); };
    };
    return s;
}

// SETUP.EXE lists every descriptor it was given beyond the standard three
// and its own script; any left is the stub's, and shows as LEAKED.TXT.
Scenario no_descriptor_inherited() {
    return with_setup_prelude(
        "here=$(pwd -P)\n"
        "for fd in /proc/$$/fd/*; do\n"
        "  [ \"${fd##*/}\" -gt 2 ] && readlink \"$fd\" >> FDS.TXT 2>/dev/null\n"
        "done\n"
        "grep -v -x -e \"$here/SETUP.EXE\" FDS.TXT > LEAKED.TXT\n"
        "[ -s LEAKED.TXT ] || rm LEAKED.TXT\n"
        "rm -f FDS.TXT\n",
        {{"DATA1.CAB", body(70000, 8), {}}});
}

Scenario replacing_files() {
    Scenario s;
    s.archive = archive_of({{"OLD.TXT", "new", {}},
                            {"TWICE.TXT", "the earlier body, which is longer", {}},
                            setup_entry(),
                            {"TWICE.TXT", "later", {}},
                            {"GROWN.DAT", "body", {}}});
    s.archive.trailer = " and what was appended";
    s.existing = {{"OLD.TXT", std::string(50000, 'o')}, {"KEPT.TXT", "not in the package"}};
    s.files = {{"OLD.TXT", "new"},
               {"TWICE.TXT", "later"},
               {"SETUP.EXE", sfx_test::setup_program()},
               {"GROWN.DAT", "body and what was appended"},
               {"KEPT.TXT", "not in the package"}};
    s.setup_runs = true;
    return s;
}

// A SETUP.EXE of an earlier run that cannot be executed is replaced by one
// that can, and started.
Scenario replacing_an_unrunnable_setup() {
    Scenario s = main_path();
    s.earlier_setup = true;
    s.posix_only = true;
    s.prepare = [](StubSandbox& sandbox, Scenario&) {
        ASSERT_EQ(chmod((sandbox.work_dir() + "/SETUP.EXE").c_str(), 0644), 0);
    };
    return s;
}

Scenario empty_table() {
    Scenario s;
    s.earlier_setup = true;
    s.files = {{"SETUP.EXE", sfx_test::setup_program()}};
    s.setup_runs = true;
    return s;
}

Scenario without_setup() {
    Scenario s;
    s.archive = archive_of({{"README.TXT", "read me", {}}});
    s.files = files_of(s.archive.entries);
    s.options.expect_setup = false;
    return s;
}

Scenario without_archive() {
    Scenario s = refused({}, MARKER_MESSAGE);
    s.append_archive = false;
    s.error_is_prefix = false;
    return s;
}

Scenario marker_at_the_end() {
    Scenario s = without_archive();
    s.prepare = [](StubSandbox& sandbox, Scenario&) {
        sandbox.write_stub_package(sfx_test::table_marker());
    };
    return s;
}

Scenario third_file_unopenable() {
    Scenario s;
    s.archive = archive_of({setup_entry(),
                            {"SECOND.TXT", body(9000, 5), {}},
                            {"THIRD.TXT", "three", {}},
                            {"FOURTH.TXT", "four", {}}});
    s.prepare = [](StubSandbox& sandbox, Scenario&) {
        ASSERT_EQ(mkdir((sandbox.work_dir() + "/THIRD.TXT").c_str(), 0755), 0);
    };
    s.status = sfx::FAILURE_STATUS;
    s.error = open_message("THIRD.TXT");
    s.files = {{"SETUP.EXE", sfx_test::setup_program()}, {"SECOND.TXT", body(9000, 5)}};
    s.others = {"THIRD.TXT"};
    return s;
}

Scenario symlink_in_place() {
    Scenario s;
    s.posix_only = true;
    s.archive =
        archive_of({{"FIRST.TXT", "one", {}}, {"LINK.TXT", "written through", {}}, setup_entry()});
    s.prepare = [](StubSandbox& sandbox, Scenario&) {
        std::string target = sandbox.root() + "/target";
        sfx_test::write_file(target, "untouched");
        ASSERT_EQ(symlink(target.c_str(), (sandbox.work_dir() + "/LINK.TXT").c_str()), 0);
    };
    s.status = sfx::FAILURE_STATUS;
    s.error = open_message("LINK.TXT");
    s.files = {{"FIRST.TXT", "one"}};
    s.others = {"LINK.TXT"};
    return s;
}

Scenario write_fails() {
    Scenario s;
    s.posix_only = true;
    s.archive = archive_of(
        {{"SMALL.TXT", body(1000, 6), {}}, {"BIG.BIN", body(300 * 1024, 7), {}}, setup_entry()});
    // Nothing larger than 64 KiB can be written: the second body fails.
    s.options.file_size_limit = 64 * 1024;
    s.status = sfx::FAILURE_STATUS;
    s.error = "Unable to write output file BIG.BIN.\n";
    s.files = {{"SMALL.TXT", body(1000, 6)}};
    return s;
}

// The running file cannot be opened for writing: the stub must not cut its
// own package while it reads it.
Scenario entry_named_like_the_package() {
    Scenario s;
    s.archive =
        archive_of({{"FIRST.TXT", "one", {}}, {"PKG.EXE", "overwritten", {}}, setup_entry()});
    s.prepare = [](StubSandbox& sandbox, Scenario& self) {
        std::string package = sfx_test::read_file(sandbox.package_path());
        ASSERT_TRUE(sfx_test::write_file(sandbox.work_dir() + "/PKG.EXE", package, 0755));
        self.options.program = "./PKG.EXE";
        self.files["PKG.EXE"] = package;
    };
    s.status = sfx::FAILURE_STATUS;
    s.error = open_message("PKG.EXE");
    s.files = {{"FIRST.TXT", "one"}};
    return s;
}

Scenario package_unreadable() {
    Scenario s = refused(archive_of({setup_entry()}), "Unable to open package file ");
    s.posix_only = true;
    // The running file is removed before it starts: its path no longer opens.
    s.options.exec_unlinked = true;
    return s;
}

Scenario path_too_long() {
    Scenario s = refused({}, "Unable to find the path of the running program.\n");
    s.error_is_prefix = false;
    s.posix_only = true;
    s.prepare = [](StubSandbox& sandbox, Scenario& self) {
        PackageLayout archive = archive_of({setup_entry()});
        archive.image = sfx_test::stub_image();
        self.options.program_descriptor =
            sandbox.write_deep_package(sfx_test::build_package(archive));
        ASSERT_GE(self.options.program_descriptor, 0);
    };
    return s;
}

std::vector<PackageEntry> numbered(int count) {
    std::vector<PackageEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({"FILE" + std::to_string(i) + ".TXT", "x", {}});
    return entries;
}

Scenario thirteen_records() {
    return refused_table(archive_of(numbered(13)), "more than 12 records");
}

Scenario long_name() {
    return refused_table(archive_of({setup_entry(), {"ABCDEFGHI.TXT", "x", {}}}),
                         "record 2 has a name longer than 12 characters");
}

Scenario no_end_record() {
    PackageLayout archive = archive_of({});
    archive.raw_table = std::string("SETUP.EXE\0\x01\x02", 12);
    return refused_table(archive, "no end record");
}

Scenario negative_offset() {
    PackageLayout archive = archive_of({setup_entry(), {"A.TXT", "a", -1}});
    return refused_table(archive, "record 2 (A.TXT) offset -1 lies outside the package");
}

Scenario offset_past_the_end() {
    Scenario s =
        refused_table(archive_of({setup_entry(), {"A.TXT", "a", {}}}), "lies outside the package");
    s.finish = [](PackageLayout& archive) { sfx_test::point_past_end(archive, 1, 1); };
    return s;
}

Scenario decreasing_offsets() {
    Scenario s = refused_table(archive_of({setup_entry(), {"A.TXT", "abc", {}}}),
                               "is lower than record 1's");
    // SETUP.EXE's body one byte further on than the next record's.
    s.finish = [](PackageLayout& archive) {
        int32_t setup_offset = sfx_test::table_start_of(archive) + 14 + 10 + 5;
        archive.entries[0].offset = setup_offset + 1;
        archive.entries[1].offset = setup_offset;
    };
    return s;
}

Scenario unsafe_name(const std::string& name) {
    return refused_table(archive_of({setup_entry(), {name, "escaped", {}}}), "record 2 name");
}

Scenario too_large() {
    Scenario s = refused_table(archive_of({setup_entry(), {"BIG.DAT", "", {}}}),
                               "the package file is 2 GiB or larger");
    s.grow_to = int64_t{1} << 31;
    return s;
}

struct Case {
    const char* name;
    Scenario (*make)();
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class Stub : public testing::TestWithParam<Case> {};

TEST_P(Stub, RunsAsSpecifiedForItsPackage) {
    Scenario s = GetParam().make();
    if (s.posix_only && sfx_test::runner_active()) GTEST_SKIP() << "needs a native POSIX stub";
    if (s.shell_setup && sfx_test::setup_program().rfind("#!/bin/sh\n", 0) != 0)
        GTEST_SKIP() << "needs the shell recorder as SETUP.EXE";
    StubSandbox sandbox;
    if (s.append_archive) {
        s.archive.image = sfx_test::stub_image();
        if (s.finish) s.finish(s.archive);
        sandbox.write_package(sfx_test::build_package(s.archive));
    } else {
        sandbox.write_package(sfx_test::stub_image());
    }
    if (s.grow_to >= 0) {
        ASSERT_EQ(truncate(sandbox.package_path().c_str(), s.grow_to), 0);
    }
    if (s.earlier_setup) {
        s.existing["SETUP.EXE"] = sfx_test::setup_program();
        s.files["SETUP.EXE"] = sfx_test::setup_program();
    }
    for (const auto& [name, content] : s.existing)
        ASSERT_TRUE(sfx_test::write_file(sandbox.work_dir() + "/" + name, content, 0755));
    if (s.prepare) s.prepare(sandbox, s);
    ASSERT_FALSE(HasFatalFailure());

    StubRun run = sandbox.run(s.options);
    if (s.options.program_descriptor >= 0) close(s.options.program_descriptor);

    EXPECT_EQ(run.status, s.status);
    EXPECT_EQ(run.standard_output, "");
    std::string error = sfx_test::normalized_error(run.standard_error);
    if (s.error_is_prefix) {
        EXPECT_EQ(error.rfind(s.error, 0), 0u) << error;
        // One line, nothing else.
        EXPECT_EQ(error.find('\n'), error.size() - 1) << error;
        EXPECT_NE(error.find(s.error_mentions), std::string::npos) << error;
    } else {
        EXPECT_EQ(error, s.error);
    }

    std::map<std::string, std::string> regular;
    std::set<std::string> others;
    for (const auto& [name, file] : run.files) {
        if (file.kind == LeftFile::regular)
            regular[name] = file.content;
        else
            others.insert(name);
    }
    EXPECT_EQ(others, s.others);
    // Compared name by name, so that a mismatch does not print whole bodies.
    std::set<std::string> names, expected_names;
    for (const auto& entry : regular) names.insert(entry.first);
    for (const auto& entry : s.files) expected_names.insert(entry.first);
    EXPECT_EQ(names, expected_names);
    for (const auto& [name, content] : regular) {
        if (s.files.count(name) == 0)
            ADD_FAILURE() << "unexpected file " << name << ": " << content.substr(0, 300);
    }
    for (const auto& [name, content] : s.files) {
        if (regular.count(name) != 0) {
            EXPECT_TRUE(regular[name] == content) << name << " differs from its body";
        }
    }

    EXPECT_EQ(run.setup.has_value(), s.setup_runs);
    if (run.setup && s.setup_runs) {
        EXPECT_EQ(run.setup->command_line, "SETUP.EXE");
        EXPECT_TRUE(sfx_test::same_directory(run.setup->directory, sandbox.work_dir()))
            << run.setup->directory;
        EXPECT_EQ(run.setup->variable, run.given_variable);
    }
    // Nothing outside the work directory: only what the sandbox made itself.
    std::set<std::string> expected_root = {"package",         "work", "stdout", "stderr", "target",
                                           "link-to-package", "deep"};
    for (const std::string& name : sfx_test::directory_names(sandbox.root()))
        EXPECT_EQ(expected_root.count(name), 1u) << "the stub wrote " << name << " outside";
    // The run's umask is 022.
    if (s.check_modes && !sfx_test::runner_active()) {
        for (const auto& [name, file] : run.files) {
            EXPECT_EQ(file.mode, name == "SETUP.EXE" ? 0755u : 0644u) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Stub,
    testing::Values(Case{"the main path", main_path}, Case{"with arguments", with_arguments},
                    Case{"started by a relative path", by_relative_path},
                    Case{"started through a symlink", through_a_symlink},
                    Case{"started with a foreign argv0", with_foreign_argv0},
                    Case{"not waiting for SETUP.EXE", not_waiting_for_setup},
                    Case{"no descriptor handed to SETUP.EXE", no_descriptor_inherited},
                    Case{"replacing files, the later duplicate and appended bytes",
                         replacing_files},
                    Case{"replacing a SETUP.EXE that could not run", replacing_an_unrunnable_setup},
                    Case{"an empty table starting an earlier SETUP.EXE", empty_table},
                    Case{"a package without SETUP.EXE", without_setup}));

INSTANTIATE_TEST_SUITE_P(
    Failures, Stub,
    testing::Values(Case{"no archive", without_archive},
                    Case{"a marker with nothing after it", marker_at_the_end},
                    Case{"a third output file that cannot be opened", third_file_unopenable},
                    Case{"a symlink in place of an output file", symlink_in_place},
                    Case{"an entry named like the running package", entry_named_like_the_package},
                    Case{"a write that fails", write_fails},
                    Case{"a package file that cannot be opened", package_unreadable},
                    Case{"a package path longer than any limit", path_too_long}));

INSTANTIATE_TEST_SUITE_P(
    RefusedTables, Stub,
    testing::Values(
        Case{"thirteen records", thirteen_records}, Case{"a name of 13 characters", long_name},
        Case{"no end record", no_end_record}, Case{"a negative offset", negative_offset},
        Case{"an offset past the end", offset_past_the_end},
        Case{"decreasing offsets", decreasing_offsets}, Case{"a package of 2 GiB", too_large},
        Case{"a parent directory", [] { return unsafe_name("../ESCAPE"); }},
        Case{"an absolute path", [] { return unsafe_name("/tmp/ESCAPE"); }},
        Case{"a backslash", [] { return unsafe_name("..\\ESCAPE"); }},
        Case{"a drive", [] { return unsafe_name("C:ESCAPE"); }},
        Case{"a device name", [] { return unsafe_name("Con.txt"); }},
        Case{"a trailing blank", [] { return unsafe_name("ESCAPE "); }},
        Case{"a control character", [] { return unsafe_name("A\x1B[2J"); }}));

}  // namespace

namespace {

// True while `process` waits in an open for writing: the stub opens nothing
// for writing before the whole table has been checked, and reads no body
// before that open returns.
bool waits_in_open_for_writing(pid_t process) {
    std::string text = sfx_test::read_file("/proc/" + std::to_string(process) + "/syscall");
    unsigned long long number = 0, first = 0, second = 0, third = 0;
    if (sscanf(text.c_str(), "%llu %llx %llx %llx", &number, &first, &second, &third) != 4)
        return false;
    if (number == SYS_openat) return (third & O_ACCMODE) == O_WRONLY;
#ifdef SYS_open
    if (number == SYS_open) return (second & O_ACCMODE) == O_WRONLY;
#endif
    return false;
}

// A body read that ends early: the package must shrink between the table
// check and the copy. The running file itself cannot be changed, so the
// stub is started from a removed file, whose path the system then reports
// with " (deleted)" after it; the file of that name is the one the stub reads,
// and the test cuts it short while the stub waits to open its first output,
// a named pipe.
TEST(StubShortRead, RemovesTheIncompleteFileAndStartsNothing) {
    if (sfx_test::runner_active()) GTEST_SKIP() << "needs a native POSIX stub";
    if (access("/proc/self/syscall", R_OK) != 0) GTEST_SKIP() << "no /proc/PID/syscall";
    StubSandbox sandbox;
    PackageLayout archive = archive_of({{"PIPE", "through the pipe", {}},
                                        setup_entry(),
                                        // Longer than any read-ahead of the stub's streams.
                                        {"CUT.DAT", body(4 << 20, 9), {}}});
    archive.image = sfx_test::stub_image();
    std::string package = sfx_test::build_package(archive);
    sandbox.write_package(package);
    std::string read_copy = sandbox.package_path() + " (deleted)";
    ASSERT_TRUE(sfx_test::write_file(read_copy, package));
    ASSERT_EQ(mkfifo((sandbox.work_dir() + "/PIPE").c_str(), 0644), 0);
    const off_t cut_at = static_cast<off_t>(package.size() - (4 << 20) + 10);

    std::string through_pipe;
    sfx_test::RunOptions options;
    options.exec_unlinked = true;
    options.while_running = [&](pid_t stub) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!waits_in_open_for_writing(stub)) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the stub never opened its first output file";
                kill(stub, SIGKILL);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(truncate(read_copy.c_str(), cut_at), 0);
        int pipe = open((sandbox.work_dir() + "/PIPE").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(pipe, 0);
        char chunk[256];
        for (ssize_t got; (got = read(pipe, chunk, sizeof chunk)) > 0;)
            through_pipe.append(chunk, static_cast<size_t>(got));
        close(pipe);
    };
    StubRun run = sandbox.run(options);

    EXPECT_EQ(run.status, sfx::FAILURE_STATUS);
    EXPECT_EQ(run.standard_error, "Unable to read the contents of CUT.DAT from the package.\n");
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(through_pipe, "through the pipe");
    EXPECT_EQ(run.files.count("CUT.DAT"), 0u);
    ASSERT_EQ(run.files.count("SETUP.EXE"), 1u);
    EXPECT_EQ(run.files["SETUP.EXE"].content, sfx_test::setup_program());
    EXPECT_FALSE(run.setup.has_value()) << "SETUP.EXE was started";
}

// A package put together byte by byte from the layout rules, independent of
// the test's own builder.
TEST(StubHandBuiltPackage, ExtractsByteForByteAndStartsSetup) {
    std::string package = sfx_test::stub_image();
    package += "fill";  // any fill, here of an odd length
    package += sfx::marker_vendor;
    package += sfx::marker_suffix;
    const std::string setup = sfx_test::setup_program();
    const std::string hello = std::string("Hello,\r\n\0world\x1A\xFF", 16);
    // Two records of 9 + 1 + 4 bytes and the end record of 5.
    const uint32_t first_body = static_cast<uint32_t>(package.size() + 14 + 14 + 5);
    const uint32_t second_body = first_body + static_cast<uint32_t>(hello.size());
    auto put_offset = [&](uint32_t value) {
        package += static_cast<char>(value & 0xFF);
        package += static_cast<char>((value >> 8) & 0xFF);
        package += static_cast<char>((value >> 16) & 0xFF);
        package += static_cast<char>((value >> 24) & 0xFF);
    };
    package.append("HELLO.TXT", 10);  // the name and its NUL
    put_offset(first_body);
    package.append("SETUP.EXE", 10);
    put_offset(second_body);
    package.append("\0\0\0\0\0", 5);  // the end record
    ASSERT_EQ(package.size(), first_body);
    package += hello;
    package += setup;

    StubSandbox sandbox;
    sandbox.write_package(package);
    StubRun run = sandbox.run();

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.standard_error, "");
    EXPECT_EQ(run.standard_output, "");
    ASSERT_EQ(run.files.size(), 2u);
    EXPECT_TRUE(run.files["HELLO.TXT"].content == hello);
    EXPECT_TRUE(run.files["SETUP.EXE"].content == setup);
    ASSERT_TRUE(run.setup.has_value());
    EXPECT_EQ(run.setup->command_line, "SETUP.EXE");
}

}  // namespace
