// The built stub, run as a user would run a package: in a fresh directory,
// with the archive appended to its own file. Each case states the whole
// outcome: status, standard error, the files left and whether SETUP.EXE ran.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sstream>
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
    bool posix_only = false;            // symbolic links, rlimits, descriptors, argv[0]
    bool windows_only = false;          // 8.3 aliases
    const char* skip_reason = nullptr;  // why, when posix_only or windows_only skips it
    bool shell_setup = false;           // packs a SETUP.EXE script of its own
    int64_t grow_to = -1;               // make the package this long, sparse
    size_t work_disk_size = 0;          // when set, work/ is a tmpfs of this many bytes
    // Called once the stub has run, before its outcome is compared: checks
    // what the fields cannot state (a file outside work/, an owner) and may
    // settle a case whose right outcome differs between Windows and Wine.
    std::function<void(const stub_sandbox&, const stub_run&, scenario&)> after_run;

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

// A symbolic link of an entry's name is never written through: the stub
// refuses it, and its target outside work/ keeps its content.
scenario symlink_in_place() {
    scenario s;
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
    s.after_run = [](const stub_sandbox& sandbox, const stub_run& run, scenario& self) {
        EXPECT_EQ(sfx::test::read_file(sandbox.root() + "/target"), "untouched");
        // Windows shows a link as a reparse point, which the stub refuses;
        // Wine may show a Unix link as the file it points to, and then the
        // stub replaces the link itself. Either way nothing is written
        // through it.
        if (sfx::test::runner_active() && run.status == 0) {
            self.status = 0;
            self.error.clear();
            self.files = files_of(self.archive.entries);
            self.others.clear();
            self.setup_runs = true;
        }
    };
    return s;
}

scenario write_fails() {
    scenario s;
    s.posix_only = true;
    s.skip_reason = "a file-size limit (RLIMIT_FSIZE) exists only on POSIX";
    s.archive = archive_of(
        {{"SMALL.TXT", body(1000, 6), {}}, {"BIG.BIN", body(300 * 1024, 7), {}}, setup_entry()});
    // Nothing larger than 64 KiB can be written: the second body fails.
    s.options.file_size_limit = 64 * 1024;
    s.status = sfx::FAILURE_STATUS;
    s.error = "Unable to write output file BIG.BIN.\n";
    s.files = {{"SMALL.TXT", body(1000, 6)}};
    return s;
}

// The body fits the 256 KiB output buffer: every fwrite succeeds and only
// the flush before the close meets the limit.
scenario write_fails_at_the_flush() {
    scenario s = write_fails();
    s.archive.entries[1].body = body(100 * 1024, 7);
    return s;
}

// Standard error is a pipe nobody reads: the message is lost, but the run
// still ends with status 4 and a cleaned-up directory, not with SIGPIPE.
scenario failure_with_standard_error_closed() {
    scenario s = third_file_unopenable();
    s.posix_only = true;
    s.skip_reason = "a write to a closed pipe raises SIGPIPE only on POSIX";
    s.options.standard_error_closed = true;
    s.error.clear();
    return s;
}

// work/ is a disk of 64 KiB, room for SETUP.EXE but not for BIG.BIN: the
// failed write is reported, the partial body removed, the old BIG.BIN kept
// and SETUP.EXE, though complete, not started. A body of 100 KiB fits the
// output buffer, so only the last flush fails.
scenario disk_full(size_t big_size) {
    scenario s = refused(archive_of({setup_entry(), {"BIG.BIN", body(big_size, 9), {}}}),
                         "Unable to write output file BIG.BIN.\n");
    s.error_is_prefix = false;
    s.existing = {{"BIG.BIN", "the old file"}};
    s.files = {{"BIG.BIN", "the old file"}};
    s.work_disk_size = 64 * 1024;
    return s;
}

// A hard link of an entry's name: the name gets the body as a new file, the
// other link (outside work/) keeps its content.
scenario hard_link_in_place() {
    scenario s;
    s.archive = archive_of({{"SHARED.TXT", "the package's body", {}}, setup_entry()});
    s.files = files_of(s.archive.entries);
    s.setup_runs = true;
    s.prepare = [](stub_sandbox& sandbox, scenario&) {
        std::string other = sandbox.root() + "/target";
        ASSERT_TRUE(sfx::test::write_file(other, "the other link's content"));
        ASSERT_EQ(link(other.c_str(), (sandbox.work_dir() + "/SHARED.TXT").c_str()), 0);
    };
    s.after_run = [](const stub_sandbox& sandbox, const stub_run&, scenario&) {
        EXPECT_EQ(sfx::test::read_file(sandbox.root() + "/target"), "the other link's content");
    };
    return s;
}

// A FIFO or device node of an entry's name is replaced, never opened:
// opening a FIFO would block, a device would take the body. The device has
// /dev/null's numbers, so a stub that wrote through it would harm nothing.
// Windows has neither; Wine cannot show one as a file, so the stub there
// refuses the name and leaves the node.
scenario node_in_place(mode_t type) {
    scenario s;
    s.archive = archive_of({{"FIRST.TXT", "one", {}}, {"NODE.TXT", "the body", {}}, setup_entry()});
    s.files = files_of(s.archive.entries);
    s.setup_runs = true;
    s.prepare = [type](stub_sandbox& sandbox, scenario& self) {
        std::string node = sandbox.work_dir() + "/NODE.TXT";
        if (mknod(node.c_str(), type | 0644, type == S_IFCHR ? makedev(1, 3) : 0) != 0)
            GTEST_SKIP() << "cannot make the node (a device needs root): " << strerror(errno);
        if (sfx::test::runner_active()) {
            self.status = sfx::FAILURE_STATUS;
            self.error = open_message("NODE.TXT");
            self.files = {{"FIRST.TXT", "one"}};
            self.others = {"NODE.TXT"};
            self.setup_runs = false;
        }
    };
    s.after_run = [type](const stub_sandbox&, const stub_run&, scenario&) {
        if (type != S_IFCHR) return;
        struct stat device {};
        ASSERT_EQ(stat("/dev/null", &device), 0);
        EXPECT_TRUE(S_ISCHR(device.st_mode));
        EXPECT_EQ(device.st_rdev, makedev(1, 3));
    };
    return s;
}

// A SETUP.EXE planted by another user, writable by everyone: it becomes a
// new file of the running user with a new SETUP.EXE's mode, not the planted
// file written into, which would stay the planter's.
scenario planted_setup() {
    scenario s = main_path();
    s.prepare = [](stub_sandbox& sandbox, scenario&) {
        std::string planted = sandbox.work_dir() + "/SETUP.EXE";
        ASSERT_TRUE(sfx::test::write_file(planted, "planted by another user", 0666));
        if (chown(planted.c_str(), 65534, 65534) != 0)
            GTEST_SKIP() << "planting a file of another user needs root: " << strerror(errno);
    };
    s.after_run = [](const stub_sandbox& sandbox, const stub_run&, scenario&) {
        struct stat info {};
        ASSERT_EQ(stat((sandbox.work_dir() + "/SETUP.EXE").c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, geteuid());
    };
    return s;
}

// A read-only file of an entry's name, the user's own, stays as it is, as
// on Windows: the rename would replace it whatever its mode. Root may write
// any file, so natively the stub runs as nobody and the file is nobody's.
scenario read_only_in_place() {
    scenario s;
    s.archive = archive_of({{"FIRST.TXT", "one", {}}, {"KEPT.TXT", "replaced", {}}, setup_entry()});
    s.prepare = [](stub_sandbox& sandbox, scenario& self) {
        std::string kept = sandbox.work_dir() + "/KEPT.TXT";
        ASSERT_TRUE(sfx::test::write_file(kept, "read-only", 0444));
        if (sfx::test::runner_active() || geteuid() != 0) return;
        self.options.unprivileged = true;
        ASSERT_EQ(chown(kept.c_str(), 65534, 65534), 0);
        // mkdtemp's 0700 would keep an unprivileged stub out of the sandbox.
        ASSERT_EQ(chmod(sandbox.root().c_str(), 0755), 0);
        ASSERT_EQ(chmod(sandbox.work_dir().c_str(), 0777), 0);
    };
    s.status = sfx::FAILURE_STATUS;
    s.error = open_message("KEPT.TXT");
    s.files = {{"FIRST.TXT", "one"}, {"KEPT.TXT", "read-only"}};
    return s;
}

// The 8.3 alias the system shows for `long_name` in `directory` (cmd's
// dir /x), or "" when it shows none.
std::string short_name_of(const std::string& long_name, const std::string& directory) {
    sfx::test::process_result listed =
        sfx::test::run_with_runner({"cmd", "/c", "dir", "/x", long_name}, directory);
    std::istringstream lines(listed.standard_output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string tail = " " + long_name;
        if (line.size() <= tail.size() ||
            line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
            continue;
        std::istringstream words(line.substr(0, line.size() - tail.size()));
        std::string alias;
        for (std::string word; words >> word;)
            alias = word;
        if (alias.find('~') != std::string::npos &&
            alias.size() <= static_cast<size_t>(sfx::MAX_NAME_LENGTH))
            return alias;
    }
    return "";
}

// An entry named like the 8.3 alias of a file with a long name: replacing
// the alias would replace that file. The alias is the system's own, as
// Windows (IMPORT~1.DOC) and Wine (IMPO~IVP.DOC) make them differently.
scenario short_name_alias() {
    scenario s;
    s.windows_only = true;
    s.skip_reason = "only Windows gives a long file name an 8.3 alias";
    s.prepare = [](stub_sandbox& sandbox, scenario& self) {
        const std::string long_name = "important-document.docx";
        ASSERT_TRUE(sfx::test::write_file(sandbox.work_dir() + "/" + long_name, "the user's"));
        std::string alias = short_name_of(long_name, sandbox.work_dir());
        if (alias.empty()) GTEST_SKIP() << "the system shows no 8.3 alias for " << long_name;
        self.archive =
            archive_of({{"FIRST.TXT", "one", {}}, {alias, "replaced", {}}, setup_entry()});
        self.archive.image = sfx::test::stub_image();
        sandbox.write_package(sfx::test::build_package(self.archive));
        self.error = open_message(alias);
        self.files = {{"FIRST.TXT", "one"}, {long_name, "the user's"}};
    };
    s.status = sfx::FAILURE_STATUS;
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

// A name the stub refuses; the message shows it as `shown` when given.
scenario unsafe_name(const std::string& name, const std::string& shown = "") {
    scenario s = refused_table(archive_of({setup_entry(), {name, "escaped", {}}}), "record 2 name");
    if (!shown.empty()) s.error_mentions = "record 2 name \"" + shown + "\"";
    return s;
}

scenario too_large() {
    scenario s = refused_table(archive_of({setup_entry(), {"BIG.DAT", "", {}}}),
                               "the package file is 2 GiB or larger");
    s.grow_to = int64_t{1} << 31;
    return s;
}

// The package started as `folder`/instalačka.exe below package/, beside a
// decoy instalacka.exe, the look-alike that a path in the ANSI code page
// would name instead ("č" becomes "c"; Cyrillic and Japanese become "?"):
// the stub must open its own file by the system's own path.
void start_in_folder(scenario& s, const std::string& folder) {
    s.prepare = [folder](stub_sandbox& sandbox, scenario& self) {
        std::string directory = sandbox.root() + "/package/" + folder;
        ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
        ASSERT_TRUE(sfx::test::write_file(directory + "/instalačka.exe",
                                          sfx::test::read_file(sandbox.package_path()), 0755));
        package_recipe decoy = archive_of({{"DECOY.TXT", "the wrong package", {}}});
        decoy.image = sfx::test::stub_image();
        ASSERT_TRUE(sfx::test::write_file(directory + "/instalacka.exe",
                                          sfx::test::build_package(decoy), 0755));
        self.options.program = directory + "/instalačka.exe";
    };
}

scenario started_in_folder(const std::string& folder) {
    scenario s = main_path();
    start_in_folder(s, folder);
    return s;
}

// A message names the package by its path in UTF-8, as the system has it.
scenario error_in_folder(const std::string& folder) {
    scenario s = thirteen_records();
    start_in_folder(s, folder);
    const char* separator = sfx::test::runner_active() ? "\\" : "/";
    s.error_mentions = separator + folder + separator + "instalačka.exe: more than 12 records";
    return s;
}

// The package's own file name holds a control character: the message shows
// it escaped, as `shown`.
scenario error_from_package_named(const std::string& name, const std::string& shown) {
    scenario s = thirteen_records();
    if (std::any_of(name.begin(), name.end(), [](char c) { return c > 0 && c < 0x20; })) {
        s.posix_only = true;
        s.skip_reason = "Windows refuses control characters below 0x20 in file names";
    }
    s.prepare = [name](stub_sandbox& sandbox, scenario& self) {
        std::string path = sandbox.root() + "/package/" + name;
        ASSERT_TRUE(
            sfx::test::write_file(path, sfx::test::read_file(sandbox.package_path()), 0755));
        self.options.program = path;
    };
    const char* separator = sfx::test::runner_active() ? "\\" : "/";
    s.error_mentions = separator + shown + ": more than 12 records";
    return s;
}

// A path too long for a message loses its middle; the line still ends with
// the problem and its newline.
scenario error_from_a_long_path() {
    scenario s = thirteen_records();
    s.posix_only = true;
    s.skip_reason = "a Windows stub runs only from a path of fewer than 255 characters";
    s.prepare = [](stub_sandbox& sandbox, scenario& self) {
        std::string path = sandbox.root() + "/package";
        for (int level = 0; level < 4; ++level) {
            path += "/" + std::string(200, static_cast<char>('a' + level));
            ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
        }
        path += "/package.exe";
        ASSERT_TRUE(
            sfx::test::write_file(path, sfx::test::read_file(sandbox.package_path()), 0755));
        self.options.program = path;
    };
    s.error_mentions = "ddd/package.exe: more than 12 records.\n";
    s.after_run = [](const stub_sandbox&, const stub_run& run, scenario&) {
        const std::string& error = run.standard_error;
        EXPECT_NE(error.find("a..."), std::string::npos) << error;
        EXPECT_EQ(error.find(std::string(200, 'b')), std::string::npos) << error;
    };
    return s;
}

// An entry the stub accepts, whose name holds a C1 control in UTF-8, cannot
// be opened: the message shows the name escaped.
scenario unopenable_name_with_a_c1_control() {
    scenario s = third_file_unopenable();
    s.posix_only = true;
    s.skip_reason = "on Windows a name outside ASCII means characters of the ANSI code page";
    s.archive.entries[2].name = "C\xC2\x9B.TXT";
    s.prepare = [](stub_sandbox& sandbox, scenario&) {
        ASSERT_EQ(mkdir((sandbox.work_dir() + "/C\xC2\x9B.TXT").c_str(), 0755), 0);
    };
    s.error = open_message("C\\xC2\\x9B.TXT");
    s.others = {"C\xC2\x9B.TXT"};
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
    if (s.posix_only && sfx::test::runner_active())
        GTEST_SKIP() << (s.skip_reason ? s.skip_reason : "needs a native POSIX stub");
    if (s.windows_only && !sfx::test::runner_active())
        GTEST_SKIP() << (s.skip_reason ? s.skip_reason : "needs a Windows stub");
    if (s.shell_setup && sfx::test::setup_program().rfind("#!/bin/sh\n", 0) != 0)
        GTEST_SKIP() << "needs the shell recorder as SETUP.EXE";
    stub_sandbox sandbox;
    if (s.work_disk_size > 0 && !sandbox.mount_small_work_disk(s.work_disk_size))
        GTEST_SKIP() << "mounting a small tmpfs as a disk to fill needs root: " << strerror(errno);
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
    if (IsSkipped()) return;

    stub_run run = sandbox.run(s.options);
    if (s.options.program_descriptor >= 0) close(s.options.program_descriptor);
    if (s.after_run) s.after_run(sandbox, run, s);

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
        stub_case{"started from a file removed since", from_a_removed_file},
        stub_case{"replacing a hard link, not the file it shares", hard_link_in_place},
        stub_case{"replacing a FIFO", [] { return node_in_place(S_IFIFO); }},
        stub_case{"replacing a device node", [] { return node_in_place(S_IFCHR); }},
        stub_case{"replacing a SETUP.EXE planted by another user", planted_setup},
        stub_case{"started from a folder named Дмитрий",
                  [] { return started_in_folder("Дмитрий"); }},
        stub_case{"started from a folder named 日本語", [] { return started_in_folder("日本語"); }},
        stub_case{"started beside a look-alike decoy",
                  [] { return started_in_folder("downloads"); }}));

INSTANTIATE_TEST_SUITE_P(
    Failures, Stub,
    testing::Values(
        stub_case{"no archive", without_archive},
        stub_case{"a marker with nothing after it", marker_at_the_end},
        stub_case{"a third output file that cannot be opened", third_file_unopenable},
        stub_case{"a symlink in place of an output file", symlink_in_place},
        stub_case{"a write that fails", write_fails},
        stub_case{"a write that fails at the last flush", write_fails_at_the_flush},
        stub_case{"a full disk", [] { return disk_full(1024 * 1024); }},
        stub_case{"a full disk met by the last flush", [] { return disk_full(100 * 1024); }},
        stub_case{"a failure with standard error closed", failure_with_standard_error_closed},
        stub_case{"a read-only file in place of an output file", read_only_in_place},
        stub_case{"an 8.3 alias of another file's name", short_name_alias},
        stub_case{"an unopenable name holding a C1 control", unopenable_name_with_a_c1_control},
        stub_case{"an error naming a package in a folder named Дмитрий",
                  [] { return error_in_folder("Дмитрий"); }},
        stub_case{"an error naming a package whose name holds ESC",
                  [] { return error_from_package_named("pkg\x1B[31m.exe", "pkg\\x1B[31m.exe"); }},
        stub_case{"an error naming a package whose name holds a C1 control",
                  [] {
                      return error_from_package_named(
                          "pkg\xC2\x9B"
                          "31m.exe",
                          "pkg\\xC2\\x9B31m.exe");
                  }},
        stub_case{"an error naming a package by a long path", error_from_a_long_path},
        stub_case{"a package file that cannot be opened", package_unreadable},
        stub_case{"a package path longer than any limit", path_too_long},
        stub_case{"an entry named like the running package", entry_named_like_the_package}));

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
                    stub_case{"a control character",
                              [] { return unsafe_name("A\x1B[2J", "A\\x1B[2J"); }},
                    stub_case{"DEL", [] { return unsafe_name("A\x7F", "A\\x7F"); }},
                    stub_case{"a raw C1 byte", [] { return unsafe_name("A\x9B/B", "A\\x9B/B"); }},
                    stub_case{"a C1 control in UTF-8",
                              [] { return unsafe_name("A\xC2\x9B/B", "A\\xC2\\x9B/B"); }},
                    stub_case{"printable UTF-8, shown as it is",
                              [] { return unsafe_name("\xC3\xA9/B", "\xC3\xA9/B"); }}));

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
