// The built stub, run as a user would run a package: in a fresh directory,
// with the archive appended to its own file. Each case states the whole
// outcome: status, standard error, the files left and whether SETUP.EXE ran.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "src/stub.h"
#include "tests/support/package_bytes.h"
#include "tests/support/package_recipe.h"
#include "tests/support/stub_runner.h"
#include "tests/support/test_files.h"

namespace {

using sfx::test::left_file;
using sfx::test::package_recipe;
using sfx::test::recipe_entry;
using sfx::test::stub_run;
using sfx::test::stub_sandbox;

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

recipe_entry setup_entry() {
    return {sfx::SETUP_PROGRAM_NAME, sfx::test::setup_program(), {}};
}

// A table with SETUP.EXE among ordinary files, bodies across block sizes.
std::vector<recipe_entry> ordinary_entries() {
    return {{"DATA1.CAB", body(10000, 1), {}},
            setup_entry(),
            {"EMPTY.TXT", "", {}},
            {"BLOCK.BIN", body(4096, 2), {}},
            {"LICENSE1.TXT", body(4097, 3), {}},
            {"LAST.DAT", body(5, 4), {}}};
}

std::map<std::string, std::string> files_of(const std::vector<recipe_entry>& entries) {
    std::map<std::string, std::string> files;
    for (const recipe_entry& entry : entries)
        files[entry.name] = entry.body;
    return files;
}

struct scenario {
    package_recipe archive;  // its image is replaced by the stub's
    bool append_archive = true;
    std::map<std::string, std::string> existing;  // regular files in work/ before the run
    bool earlier_setup = false;                   // a SETUP.EXE of an earlier run lies in work/
    // Adjusts the archive once the stub's image stands in front of it.
    void (*finish)(package_recipe&) = nullptr;
    // Prepares the sandbox once the package is written; may change the case.
    std::function<void(stub_sandbox&, scenario&)> prepare;
    sfx::test::run_options options;
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
scenario refused(package_recipe archive, const std::string& error_start) {
    scenario s;
    s.archive = std::move(archive);
    s.earlier_setup = true;
    s.status = sfx::FAILURE_STATUS;
    s.error = error_start;
    s.error_is_prefix = true;
    return s;
}

package_recipe archive_of(std::vector<recipe_entry> entries) {
    package_recipe archive;
    archive.entries = std::move(entries);
    return archive;
}

// A table the stub must refuse as a whole, for `problem`.
scenario refused_table(package_recipe archive, const std::string& problem) {
    scenario s = refused(std::move(archive), "Invalid file table in ");
    s.error_mentions = problem;
    return s;
}

// ---------------------------------------------------------------------------

scenario main_path() {
    scenario s;
    s.archive = archive_of(ordinary_entries());
    s.files = files_of(s.archive.entries);
    s.setup_runs = true;
    s.check_modes = true;
    return s;
}

scenario with_arguments() {
    scenario s = main_path();
    s.options.arguments = {"-x", "SETUP.EXE", "--extract=/tmp", "/S", "", "Unable to"};
    return s;
}

scenario by_relative_path() {
    scenario s = main_path();
    s.options.program = "../package/package.exe";
    return s;
}

scenario through_a_symlink() {
    scenario s = main_path();
    s.posix_only = true;
    s.prepare = [](stub_sandbox& sandbox, scenario& self) {
        std::string link = sandbox.root() + "/link-to-package";
        ASSERT_EQ(symlink(sandbox.package_path().c_str(), link.c_str()), 0);
        self.options.program = link;
    };
    return s;
}

scenario with_foreign_argv0() {
    scenario s = main_path();
    s.posix_only = true;
    // A real program without a marker: a stub that read argv[0] would fail.
    s.options.argv0 = "/bin/sh";
    return s;
}

// A case whose SETUP.EXE is the shell recorder with `prelude` run first,
// packed after `entries`.
scenario with_setup_prelude(const std::string& prelude, std::vector<recipe_entry> entries) {
    scenario s;
    s.posix_only = true;
    s.shell_setup = true;
    std::string recorder = sfx::test::setup_program();
    entries.push_back(
        {"SETUP.EXE", "#!/bin/sh\n" + prelude + recorder.substr(recorder.find('\n') + 1), {}});
    s.archive = archive_of(entries);
    s.files = files_of(s.archive.entries);
    s.setup_runs = true;
    return s;
}

// SETUP.EXE records only once the test has seen the stub end (and then
// leaves a file GO): a stub that waited for it would never end.
scenario not_waiting_for_setup() {
    scenario s = with_setup_prelude(
        "tries=0\n"
        "while [ ! -e GO ]; do\n"
        "  tries=$((tries + 1)); [ $tries -lt 2000 ] || exit 1\n"
        "  sleep 0.01\n"
        "done\n",
        {});
    s.files["GO"] = "";
    s.prepare = [](stub_sandbox& sandbox, scenario& self) {
        std::string go = sandbox.work_dir() + "/GO";
        self.options.after_exit = [go] { sfx::test::write_file(go, ""); };
    };
    return s;
}

// SETUP.EXE lists every descriptor it was given beyond the standard three
// and its own script; any left is the stub's, and shows as LEAKED.TXT.
scenario no_descriptor_inherited() {
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

scenario replacing_files() {
    scenario s;
    s.archive = archive_of({{"OLD.TXT", "new", {}},
                            {"TWICE.TXT", "the earlier body, which is longer", {}},
                            setup_entry(),
                            {"TWICE.TXT", "later", {}},
                            {"GROWN.DAT", "body", {}}});
    s.archive.trailer = " and what was appended";
    s.existing = {{"OLD.TXT", std::string(50000, 'o')}, {"KEPT.TXT", "not in the package"}};
    s.files = {{"OLD.TXT", "new"},
               {"TWICE.TXT", "later"},
               {"SETUP.EXE", sfx::test::setup_program()},
               {"GROWN.DAT", "body and what was appended"},
               {"KEPT.TXT", "not in the package"}};
    s.setup_runs = true;
    return s;
}

// A SETUP.EXE of an earlier run that cannot be executed is replaced by one
// that can, and started.
scenario replacing_an_unrunnable_setup() {
    scenario s = main_path();
    s.earlier_setup = true;
    s.posix_only = true;
    s.prepare = [](stub_sandbox& sandbox, scenario&) {
        ASSERT_EQ(chmod((sandbox.work_dir() + "/SETUP.EXE").c_str(), 0644), 0);
    };
    return s;
}

scenario empty_table() {
    scenario s;
    s.earlier_setup = true;
    s.files = {{"SETUP.EXE", sfx::test::setup_program()}};
    s.setup_runs = true;
    return s;
}

scenario without_setup() {
    scenario s;
    s.archive = archive_of({{"README.TXT", "read me", {}}});
    s.files = files_of(s.archive.entries);
    s.options.expect_setup = false;
    return s;
}

scenario without_archive() {
    scenario s = refused({}, MARKER_MESSAGE);
    s.append_archive = false;
    s.error_is_prefix = false;
    return s;
}

scenario marker_at_the_end() {
    scenario s = without_archive();
    s.prepare = [](stub_sandbox& sandbox, scenario&) {
        sandbox.write_stub_package(sfx::test::table_marker());
    };
    return s;
}

scenario third_file_unopenable() {
    scenario s;
    s.archive = archive_of({setup_entry(),
                            {"SECOND.TXT", body(9000, 5), {}},
                            {"THIRD.TXT", "three", {}},
                            {"FOURTH.TXT", "four", {}}});
    s.prepare = [](stub_sandbox& sandbox, scenario&) {
        ASSERT_EQ(mkdir((sandbox.work_dir() + "/THIRD.TXT").c_str(), 0755), 0);
    };
    s.status = sfx::FAILURE_STATUS;
    s.error = open_message("THIRD.TXT");
    s.files = {{"SETUP.EXE", sfx::test::setup_program()}, {"SECOND.TXT", body(9000, 5)}};
    s.others = {"THIRD.TXT"};
    return s;
}

scenario symlink_in_place() {
    scenario s;
    s.posix_only = true;
    s.archive =
        archive_of({{"FIRST.TXT", "one", {}}, {"LINK.TXT", "written through", {}}, setup_entry()});
    s.prepare = [](stub_sandbox& sandbox, scenario&) {
        std::string target = sandbox.root() + "/target";
        sfx::test::write_file(target, "untouched");
        ASSERT_EQ(symlink(target.c_str(), (sandbox.work_dir() + "/LINK.TXT").c_str()), 0);
    };
    s.status = sfx::FAILURE_STATUS;
    s.error = open_message("LINK.TXT");
    s.files = {{"FIRST.TXT", "one"}};
    s.others = {"LINK.TXT"};
    return s;
}

scenario write_fails() {
    scenario s;
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

// An entry named like the running package: the package is the user's
// download and is never replaced, so the stub stops at that entry.
scenario entry_named_like_the_package() {
    scenario s;
    s.archive =
        archive_of({{"FIRST.TXT", "one", {}}, {"PKG.EXE", "overwritten", {}}, setup_entry()});
    s.prepare = [](stub_sandbox& sandbox, scenario& self) {
        std::string package = sfx::test::read_file(sandbox.package_path());
        ASSERT_TRUE(sfx::test::write_file(sandbox.work_dir() + "/PKG.EXE", package, 0755));
        self.options.program = "./PKG.EXE";
        self.files["PKG.EXE"] = package;
    };
    s.status = sfx::FAILURE_STATUS;
    s.error = open_message("PKG.EXE");
    s.files = {{"FIRST.TXT", "one"}};
    return s;
}

// The package is removed before it starts: the stub reads its own file, not
// whatever its path names (here nothing).
scenario from_a_removed_file() {
    scenario s = main_path();
    s.posix_only = true;
    s.options.exec_unlinked = true;
    return s;
}

// The package may be run but not read: the stub cannot open its own file.
scenario package_unreadable() {
    scenario s = refused(archive_of({setup_entry()}), "Unable to open package file ");
    s.posix_only = true;
    // Root would read it all the same.
    s.options.unprivileged = true;
    s.prepare = [](stub_sandbox& sandbox, scenario&) {
        // mkdtemp's 0700 would keep an unprivileged stub out of the sandbox.
        ASSERT_EQ(chmod(sandbox.root().c_str(), 0755), 0);
        ASSERT_EQ(chmod(sandbox.package_path().c_str(), 0111), 0);
    };
    return s;
}

scenario path_too_long() {
    scenario s = refused({}, "Unable to find the path of the running program.\n");
    s.error_is_prefix = false;
    s.posix_only = true;
    s.prepare = [](stub_sandbox& sandbox, scenario& self) {
        package_recipe archive = archive_of({setup_entry()});
        archive.image = sfx::test::stub_image();
        self.options.program_descriptor =
            sandbox.write_deep_package(sfx::test::build_package(archive));
        ASSERT_GE(self.options.program_descriptor, 0);
    };
    return s;
}

std::vector<recipe_entry> numbered(int count) {
    std::vector<recipe_entry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({"FILE" + std::to_string(i) + ".TXT", "x", {}});
    return entries;
}

scenario thirteen_records() {
    return refused_table(archive_of(numbered(13)), "more than 12 records");
}

scenario long_name() {
    return refused_table(archive_of({setup_entry(), {"ABCDEFGHI.TXT", "x", {}}}),
                         "record 2 has a name longer than 12 characters");
}

scenario no_end_record() {
    package_recipe archive = archive_of({});
    archive.raw_table = std::string("SETUP.EXE\0\x01\x02", 12);
    return refused_table(archive, "no end record");
}

scenario negative_offset() {
    package_recipe archive = archive_of({setup_entry(), {"A.TXT", "a", -1}});
    return refused_table(archive, "record 2 (A.TXT) offset -1 lies outside the package");
}

scenario offset_past_the_end() {
    scenario s =
        refused_table(archive_of({setup_entry(), {"A.TXT", "a", {}}}), "lies outside the package");
    s.finish = [](package_recipe& archive) { sfx::test::point_past_end(archive, 1, 1); };
    return s;
}

scenario decreasing_offsets() {
    scenario s = refused_table(archive_of({setup_entry(), {"A.TXT", "abc", {}}}),
                               "is lower than record 1's");
    // SETUP.EXE's body one byte further on than the next record's.
    s.finish = [](package_recipe& archive) {
        int32_t setup_offset = sfx::test::table_start_of(archive) + 14 + 10 + 5;
        archive.entries[0].offset = setup_offset + 1;
        archive.entries[1].offset = setup_offset;
    };
    return s;
}

scenario unsafe_name(const std::string& name) {
    return refused_table(archive_of({setup_entry(), {name, "escaped", {}}}), "record 2 name");
}

scenario too_large() {
    scenario s = refused_table(archive_of({setup_entry(), {"BIG.DAT", "", {}}}),
                               "the package file is 2 GiB or larger");
    s.grow_to = int64_t{1} << 31;
    return s;
}

struct stub_case {
    const char* name;
    scenario (*make)();
};

void PrintTo(const stub_case& c, std::ostream* out) {
    *out << c.name;
}

class Stub : public testing::TestWithParam<stub_case> {};

TEST_P(Stub, RunsWithTheOutcomeItsCaseStates) {
    scenario s = GetParam().make();
    if (s.posix_only && sfx::test::runner_active()) GTEST_SKIP() << "needs a native POSIX stub";
    if (s.shell_setup && sfx::test::setup_program().rfind("#!/bin/sh\n", 0) != 0)
        GTEST_SKIP() << "needs the shell recorder as SETUP.EXE";
    stub_sandbox sandbox;
    if (s.append_archive) {
        s.archive.image = sfx::test::stub_image();
        if (s.finish) s.finish(s.archive);
        sandbox.write_package(sfx::test::build_package(s.archive));
    } else {
        sandbox.write_package(sfx::test::stub_image());
    }
    if (s.grow_to >= 0) {
        ASSERT_EQ(truncate(sandbox.package_path().c_str(), s.grow_to), 0);
    }
    if (s.earlier_setup) {
        s.existing["SETUP.EXE"] = sfx::test::setup_program();
        s.files["SETUP.EXE"] = sfx::test::setup_program();
    }
    for (const auto& [name, content] : s.existing)
        ASSERT_TRUE(sfx::test::write_file(sandbox.work_dir() + "/" + name, content, 0755));
    if (s.prepare) s.prepare(sandbox, s);
    ASSERT_FALSE(HasFatalFailure());

    stub_run run = sandbox.run(s.options);
    if (s.options.program_descriptor >= 0) close(s.options.program_descriptor);

    EXPECT_EQ(run.status, s.status);
    EXPECT_EQ(run.standard_output, "");
    std::string error = sfx::test::normalized_error(run.standard_error);
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
        if (file.kind == left_file::regular)
            regular[name] = file.content;
        else
            others.insert(name);
    }
    EXPECT_EQ(others, s.others);
    // Compared name by name, so that a mismatch does not print whole bodies.
    std::set<std::string> names, expected_names;
    for (const auto& entry : regular)
        names.insert(entry.first);
    for (const auto& entry : s.files)
        expected_names.insert(entry.first);
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
        EXPECT_TRUE(sfx::test::same_directory(run.setup->directory, sandbox.work_dir()))
            << run.setup->directory;
        EXPECT_EQ(run.setup->variable, run.given_variable);
    }
    // Nothing outside the work directory: only what the sandbox made itself.
    // (The stub's standard output and error go to unnamed files.)
    std::set<std::string> expected_root = {"package", "work", "target", "link-to-package", "deep"};
    for (const std::string& name : sfx::test::directory_names(sandbox.root()))
        EXPECT_EQ(expected_root.count(name), 1u) << "the stub wrote " << name << " outside";
    // The run's umask is 022.
    if (s.check_modes && !sfx::test::runner_active()) {
        for (const auto& [name, file] : run.files) {
            EXPECT_EQ(file.mode, name == "SETUP.EXE" ? 0755u : 0644u) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Stub,
    testing::Values(
        stub_case{"the main path", main_path}, stub_case{"with arguments", with_arguments},
        stub_case{"started by a relative path", by_relative_path},
        stub_case{"started through a symlink", through_a_symlink},
        stub_case{"started with a foreign argv0", with_foreign_argv0},
        stub_case{"not waiting for SETUP.EXE", not_waiting_for_setup},
        stub_case{"no descriptor handed to SETUP.EXE", no_descriptor_inherited},
        stub_case{"replacing files, the later duplicate and appended bytes", replacing_files},
        stub_case{"replacing a SETUP.EXE that could not run", replacing_an_unrunnable_setup},
        stub_case{"an empty table starting an earlier SETUP.EXE", empty_table},
        stub_case{"a package without SETUP.EXE", without_setup},
        stub_case{"started from a file removed since", from_a_removed_file}));

INSTANTIATE_TEST_SUITE_P(
    Failures, Stub,
    testing::Values(stub_case{"no archive", without_archive},
                    stub_case{"a marker with nothing after it", marker_at_the_end},
                    stub_case{"a third output file that cannot be opened", third_file_unopenable},
                    stub_case{"a symlink in place of an output file", symlink_in_place},
                    stub_case{"a write that fails", write_fails},
                    stub_case{"a package file that cannot be opened", package_unreadable},
                    stub_case{"a package path longer than any limit", path_too_long},
                    stub_case{"an entry named like the running package",
                              entry_named_like_the_package}));

INSTANTIATE_TEST_SUITE_P(
    RefusedTables, Stub,
    testing::Values(stub_case{"thirteen records", thirteen_records},
                    stub_case{"a name of 13 characters", long_name},
                    stub_case{"no end record", no_end_record},
                    stub_case{"a negative offset", negative_offset},
                    stub_case{"an offset past the end", offset_past_the_end},
                    stub_case{"decreasing offsets", decreasing_offsets},
                    stub_case{"a package of 2 GiB", too_large},
                    stub_case{"a parent directory", [] { return unsafe_name("../ESCAPE"); }},
                    stub_case{"an absolute path", [] { return unsafe_name("/tmp/ESCAPE"); }},
                    stub_case{"a backslash", [] { return unsafe_name("..\\ESCAPE"); }},
                    stub_case{"a drive", [] { return unsafe_name("C:ESCAPE"); }},
                    stub_case{"a device name", [] { return unsafe_name("Con.txt"); }},
                    stub_case{"a trailing blank", [] { return unsafe_name("ESCAPE "); }},
                    stub_case{"a control character", [] { return unsafe_name("A\x1B[2J"); }}));

// A package put together byte by byte from the layout rules, independent of
// the tests' package recipes: only the marker and the offset fields come from
// the shared encoder.
TEST(StubHandBuiltPackage, ExtractsByteForByteAndStartsSetup) {
    std::string package = sfx::test::stub_image();
    package += "fill";  // any fill, here of an odd length
    package += sfx::test::table_marker();
    const std::string setup = sfx::test::setup_program();
    const std::string hello = std::string("Hello,\r\n\0world\x1A\xFF", 16);
    // Two records of 9 + 1 + 4 bytes and the end record of 5.
    const int32_t first_body = static_cast<int32_t>(package.size() + 14 + 14 + 5);
    const int32_t second_body = first_body + static_cast<int32_t>(hello.size());
    package.append("HELLO.TXT", 10);  // the name and its NUL
    sfx::test::append_le32(package, first_body);
    package.append("SETUP.EXE", 10);
    sfx::test::append_le32(package, second_body);
    package.append("\0\0\0\0\0", 5);  // the end record
    ASSERT_EQ(package.size(), static_cast<size_t>(first_body));
    package += hello;
    package += setup;

    stub_sandbox sandbox;
    sandbox.write_package(package);
    stub_run run = sandbox.run();

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
