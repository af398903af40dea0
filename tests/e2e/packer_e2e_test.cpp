// sfxpack end to end: packages it creates are read back by list, verify,
// extract and the native stub; inputs it must refuse leave no package behind;
// tampered packages are caught by verify as the stub would catch them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/package_bytes.h"
#include "tests/support/package_recipe.h"
#include "tests/support/packer_runner.h"
#include "tests/support/stub_runner.h"
#include "tests/support/test_files.h"

namespace sfx::test {
namespace {

// Every error is a single line that names the program.
void expect_one_error_line(const std::string& text) {
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_EQ(text.rfind("sfxpack: ", 0), 0u) << text;
}

class Packer : public ::testing::Test {
protected:
    void SetUp() override { mkdir(path("in").c_str(), 0755); }

    std::string path(const std::string& relative) const { return sandbox.root() + "/" + relative; }
    void put(const std::string& relative, const std::string& bytes, unsigned mode = 0644) {
        write_file(path(relative), bytes, mode);
    }
    // Runs sfxpack in the sandbox. A create that names no stub gets
    // --target native: these tests run the native stub, and the default
    // Windows stub may not be built.
    process_result sfxpack(const std::vector<std::string>& arguments,
                           const process_request& how = {}) {
        std::vector<std::string> given = arguments;
        const auto names = [&](const char* option) {
            return std::find(given.begin(), given.end(), option) != given.end();
        };
        if (!given.empty() && given[0] == "create" && !names("--stub") && !names("--target") &&
            !names("--help"))
            given.insert(given.begin() + 1, {"--target", "native"});
        return run_packer(given, sandbox.root(), how);
    }

    stub_sandbox sandbox;  // root/, with work/ for the stub to run in
};

struct packed_file {
    std::string name;  // entry name
    std::string item;  // the ITEM argument
    std::string file;  // path below the sandbox
    std::string body;
};

TEST_F(Packer, RoundTripsThroughListVerifyTheStubAndExtract) {
    std::string every_byte;
    for (int round = 0; round < 3; ++round)
        for (int value = 0; value < 256; ++value)
            every_byte.push_back(static_cast<char>(value));
    const std::vector<packed_file> files = {
        {"SETUP.EXE", "in/SETUP.EXE", "in/SETUP.EXE", setup_program()},
        {"EMPTY.TXT", "in/EMPTY.TXT", "in/EMPTY.TXT", ""},
        {"BLOCK.BIN", "in/BLOCK.BIN", "in/BLOCK.BIN", patterned(4097, 1)},
        {"ALL.BIN", "ALL.BIN=in/every byte=.dat", "in/every byte=.dat", every_byte},
    };
    std::vector<std::string> create = {"create", "-o", "out.exe"};
    for (const packed_file& file : files) {
        put(file.file, file.body, 0755);
        create.push_back(file.item);
    }

    // Built beside sfxpack, the native stub is the default image.
    process_result created = sfxpack(create);
    ASSERT_EQ(created.status, 0) << created.standard_error;
    EXPECT_EQ(created.standard_error, "");
    struct stat info {};
    ASSERT_EQ(stat(path("out.exe").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u) << "0777 less the umask 022";
    EXPECT_EQ(info.st_size % 8, 0) << "padded to a multiple of 8";
    EXPECT_EQ(directory_names(sandbox.root()),
              (std::vector<std::string>{"in", "out.exe", "package", "work"}))
        << "no temporary file is left";

    process_result listed = sfxpack({"list", "out.exe"});
    ASSERT_EQ(listed.status, 0) << listed.standard_error;
    std::istringstream lines(listed.standard_output);
    size_t record = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string number, name, offset, size;
        if (!(words >> number >> name >> offset >> size) || number != std::to_string(record + 1))
            continue;
        ASSERT_LT(record, files.size()) << line;
        EXPECT_EQ(name, files[record].name);
        EXPECT_EQ(size, std::to_string(files[record].body.size()));
        ++record;
    }
    EXPECT_EQ(record, files.size()) << listed.standard_output;

    process_result verified = sfxpack({"verify", "out.exe"});
    EXPECT_EQ(verified.status, 0) << verified.standard_error;

    run_options package_run;
    package_run.program = path("out.exe");
    stub_run run = sandbox.run(package_run);
    ASSERT_EQ(run.status, 0) << run.standard_error;
    EXPECT_TRUE(run.setup.has_value()) << "SETUP.EXE was not started";
    EXPECT_EQ(run.files.size(), files.size());
    for (const packed_file& file : files) {
        ASSERT_EQ(run.files.count(file.name), 1u) << file.name;
        EXPECT_TRUE(run.files.at(file.name).content == file.body) << file.name;
    }

    // -C makes the directory, parents included, as unzip -d does, and every
    // file written is named.
    process_result extracted = sfxpack({"extract", "-C", "extracted/deeper", "out.exe"});
    ASSERT_EQ(extracted.status, 0) << extracted.standard_error;
    std::string named;
    for (const packed_file& file : files)
        named += "extracted: " + file.name + "\n";
    EXPECT_EQ(extracted.standard_output, named);
    ASSERT_EQ(rename(path("extracted/deeper").c_str(), path("extracted.tmp").c_str()), 0);
    ASSERT_EQ(rmdir(path("extracted").c_str()), 0);
    ASSERT_EQ(rename(path("extracted.tmp").c_str(), path("extracted").c_str()), 0);
    std::vector<std::string> names;
    for (const packed_file& file : files) {
        EXPECT_TRUE(read_file(path("extracted/" + file.name)) == file.body) << file.name;
        names.push_back(file.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(directory_names(path("extracted")), names) << "extract starts nothing";
    EXPECT_EQ(access(path("extracted/SETUP.EXE").c_str(), X_OK), 0);

    // -q names nothing; a directory that cannot be made is one line.
    process_result quiet = sfxpack({"extract", "-q", "-C", "again", "out.exe"});
    EXPECT_EQ(quiet.status, 0) << quiet.standard_error;
    EXPECT_EQ(quiet.standard_output, "");
    put("in/file", "a file, not a directory");
    process_result nowhere = sfxpack({"extract", "-C", "in/file/below", "out.exe"});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_NE(nowhere.standard_error.find("Unable to enter directory in/file/below"),
              std::string::npos)
        << nowhere.standard_error;
    expect_one_error_line(nowhere.standard_error);
}

// The layout's worked example: a 35328-byte image and ten bodies of the
// documented sizes. Everything up to the end record lands where documented;
// then one zero byte pads the package from 3068863 to 3068864 bytes, a
// multiple of 8, so every body starts one byte later than documented.
TEST_F(Packer, ReproducesTheWorkedExampleWithOneByteOfPadding) {
    const package_recipe example = example_package_recipe();
    put("in/image.bin", example.image);
    // The plain layout, as the worked example has it: no integrity record.
    std::vector<std::string> create = {"create", "-o",           "example.exe",
                                       "--stub", "in/image.bin", "--no-integrity"};
    for (const recipe_entry& entry : example.entries) {
        put("in/" + entry.name, entry.body);
        create.push_back("in/" + entry.name);
    }
    process_result created = sfxpack(create);
    ASSERT_EQ(created.status, 0) << created.standard_error;

    const int32_t record_starts[] = {36894, 36908, 36922, 36936, 36950,
                                     36967, 36982, 36997, 37012, 37025};
    const int32_t documented_offsets[] = {37043,  184492, 232108, 233064, 233093,
                                          539759, 547951, 558703, 751484, 3068858};
    const int32_t padding = 1;

    std::string bytes = read_file(path("example.exe"));
    ASSERT_EQ(bytes.size(), 3068863u + padding);
    EXPECT_TRUE(bytes.compare(0, 35328, example.image) == 0);
    EXPECT_EQ(bytes.substr(35328, 1536), std::string(1536, '\0'));
    EXPECT_EQ(bytes.substr(36864, 30), table_marker());
    for (size_t i = 0; i < example.entries.size(); ++i) {
        const recipe_entry& entry = example.entries[i];
        size_t start = static_cast<size_t>(record_starts[i]);
        EXPECT_EQ(bytes.substr(start, entry.name.size() + 1), entry.name + '\0');
        int32_t offset = documented_offsets[i] + padding;
        EXPECT_EQ(le32_at(bytes, start + entry.name.size() + 1), offset) << entry.name;
        EXPECT_TRUE(bytes.compare(static_cast<size_t>(offset), entry.body.size(), entry.body) == 0)
            << entry.name;
    }
    EXPECT_EQ(bytes.substr(36904, 4), std::string("\xB4\x90\x00\x00", 4));
    EXPECT_EQ(bytes.substr(37038, 5 + padding), std::string(5 + padding, '\0'))
        << "end record with zero reserved bytes, then the padding";

    std::string expected_json =
        "{\"format\": 1, \"package\": \"example.exe\", \"package_length\": 3068864, "
        "\"signed\": false, \"marker_offset\": 36864, \"table_offset\": 36894, "
        "\"first_body_offset\": 37044, \"bodies_end\": 3068864, \"integrity_record\": false, "
        "\"entries\": [";
    for (size_t i = 0; i < example.entries.size(); ++i) {
        int32_t offset = documented_offsets[i] + padding;
        expected_json += (i == 0 ? "" : ", ") + std::string("{\"record\": ") +
                         std::to_string(i + 1) + ", \"name\": \"" + example.entries[i].name +
                         "\", \"offset\": " + std::to_string(offset) +
                         ", \"size\": " + std::to_string(example.entries[i].body.size()) + "}";
    }
    expected_json += "]}\n";
    process_result listed = sfxpack({"list", "--json", "example.exe"});
    ASSERT_EQ(listed.status, 0) << listed.standard_error;
    EXPECT_EQ(listed.standard_output, expected_json);
}

struct refused_create {
    const char* case_name;
    std::vector<std::string> arguments;  // after "create -o out.exe"
    const char* message;                 // part of the one error line
};

// Shown by name when a case fails.
void PrintTo(const refused_create& refused, std::ostream* out) {
    *out << refused.case_name;
}

class PackerRefusedInput : public Packer, public ::testing::WithParamInterface<refused_create> {
protected:
    void SetUp() override {
        Packer::SetUp();
        put("in/SETUP.EXE", setup_program(), 0755);
        put("in/a.txt", "a");
        put("in/empty.bin", "");
        for (int i = 1; i <= 13; ++i)
            put("in/F" + std::to_string(i) + ".TXT", "f");
        put("in/marked.exe", stub_like_image(5002) + table_marker() + std::string(100, '\0'));
        // Sparse: no disk space, and no body is read before the size is refused.
        put("in/huge.bin", "");
        ASSERT_EQ(truncate(path("in/huge.bin").c_str(), (int64_t{1} << 31) - 100), 0);
    }
};

TEST_P(PackerRefusedInput, FailsWithOneLineAndLeavesNoPackage) {
    std::vector<std::string> arguments = {"create", "-o", "out.exe"};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    std::vector<std::string> before = directory_names(sandbox.root());

    process_result refused = sfxpack(arguments);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.standard_error.find(GetParam().message), std::string::npos)
        << refused.standard_error;
    expect_one_error_line(refused.standard_error);
    EXPECT_EQ(directory_names(sandbox.root()), before) << "no package, no temporary file";

    put("out.exe", "an earlier package");
    EXPECT_EQ(sfxpack(arguments).status, 1);
    EXPECT_EQ(read_file(path("out.exe")), "an earlier package");
}

INSTANTIATE_TEST_SUITE_P(
    EachRule, PackerRefusedInput,
    ::testing::Values(
        refused_create{"stub_holds_marker",
                       {"--stub", "in/marked.exe", "in/SETUP.EXE"},
                       "in/marked.exe: the stub image contains the table marker at offset 5002"},
        refused_create{"empty_stub",
                       {"--stub", "in/empty.bin", "in/SETUP.EXE"},
                       "in/empty.bin: not a program image"},
        refused_create{"thirteen_entries",
                       {"--no-setup", "in/F1.TXT", "in/F2.TXT", "in/F3.TXT", "in/F4.TXT",
                        "in/F5.TXT", "in/F6.TXT", "in/F7.TXT", "in/F8.TXT", "in/F9.TXT",
                        "in/F10.TXT", "in/F11.TXT", "in/F12.TXT", "in/F13.TXT"},
                       "13 entries given; a package holds at most 12"},
        refused_create{"no_setup_program", {"in/a.txt"}, "no entry is named SETUP.EXE"},
        refused_create{"setup_in_other_case",
                       {"setup.exe=in/SETUP.EXE", "in/a.txt"},
                       "no entry is named SETUP.EXE"},
        refused_create{"name_of_13",
                       {"in/SETUP.EXE", "LONGNAME1.TXT=in/a.txt"},
                       "in/a.txt: entry name \"LONGNAME1.TXT\" is longer than 12 characters"},
        refused_create{"empty_name", {"in/SETUP.EXE", "=in/a.txt"}, "is empty"},
        refused_create{"name_with_directory",
                       {"in/SETUP.EXE", "SUB/A.TXT=in/a.txt"},
                       "contains a path separator"},
        refused_create{
            "device_name", {"in/SETUP.EXE", "con.txt=in/a.txt"}, "is a reserved device name"},
        refused_create{"name_outside_ascii",
                       {"in/SETUP.EXE", "CAF\xE9.TXT=in/a.txt"},
                       "in/a.txt: entry name \"CAF\\xE9.TXT\" holds characters outside ASCII, "
                       "whose meaning depends on the code page"},
        refused_create{"names_differ_in_case",
                       {"in/SETUP.EXE", "A.TXT=in/a.txt", "a.txt=in/a.txt"},
                       "entry name \"a.txt\" is already taken by \"A.TXT\""},
        refused_create{
            "missing_input", {"in/SETUP.EXE", "in/missing.txt"}, "in/missing.txt: cannot open"},
        refused_create{"directory_input", {"in/SETUP.EXE", "DIR=in"}, "in: not a regular file"},
        refused_create{"two_gib", {"in/SETUP.EXE", "in/huge.bin"}, "must stay under 2 GiB"},
        // procfs reports size 0 and then delivers bytes: a file that grew.
        refused_create{"input_changes_size",
                       {"in/SETUP.EXE", "VERSION=/proc/version"},
                       "/proc/version: changed size while being packed"}),
    [](const ::testing::TestParamInfo<refused_create>& tested) { return tested.param.case_name; });

// Packing into the stub or one of the inputs would destroy it.
TEST_F(Packer, RefusesToWriteOverItsOwnInput) {
    put("in/SETUP.EXE", setup_program(), 0755);
    const std::vector<std::vector<std::string>> overwrites = {
        {"create", "-o", "in/SETUP.EXE", "in/SETUP.EXE"},
        {"create", "-o", "in/image.exe", "--stub", "in/image.exe", "in/SETUP.EXE"},
    };
    put("in/image.exe", stub_like_image(64));
    for (const std::vector<std::string>& arguments : overwrites) {
        process_result refused = sfxpack(arguments);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.standard_error.find(arguments[2] + ": is also an input"),
                  std::string::npos)
            << refused.standard_error;
        expect_one_error_line(refused.standard_error);
    }
    EXPECT_EQ(read_file(path("in/SETUP.EXE")), setup_program());
    EXPECT_EQ(read_file(path("in/image.exe")), stub_like_image(64));
}

// A name outside ASCII, which create refuses, in a hand-made package: verify
// reports it as one line, list --json shows each such byte as the text \xNN.
TEST_F(Packer, ReportsANameOutsideAsciiInAHandMadePackage) {
    package_recipe recipe =
        recipe_behind_image({{"SETUP.EXE", setup_program(), {}}, {"CAF\xE9.TXT", "caf\xE9", {}}});
    put("hand-made.exe", build_package(recipe), 0755);

    process_result verified = sfxpack({"verify", "hand-made.exe"});
    EXPECT_EQ(verified.status, 1);
    expect_one_error_line(verified.standard_error);
    EXPECT_NE(verified.standard_error.find("hand-made.exe: record 2 holds the byte 0xE9 outside "
                                           "ASCII; what it means depends on the code page"),
              std::string::npos)
        << verified.standard_error;

    process_result listed = sfxpack({"list", "--json", "hand-made.exe"});
    EXPECT_EQ(listed.status, 0) << listed.standard_error;
    EXPECT_NE(listed.standard_output.find("\"name\": \"CAF\\\\xE9.TXT\""), std::string::npos)
        << listed.standard_output;
}

// Past a file-size limit the write fails instead of killing sfxpack (no
// SIGXFSZ): one line, status 1, no temporary file, no package, and an
// earlier package of that name kept.
TEST_F(Packer, AFileSizeLimitLeavesNoPackage) {
    put("in/SETUP.EXE", setup_program(), 0755);
    put("in/BIG.BIN", patterned(1024 * 1024, 4));
    const std::vector<std::string> create = {"create", "-o", "out.exe", "in/SETUP.EXE",
                                             "in/BIG.BIN"};
    process_request limited;
    limited.file_size_limit = 512 * 1024;
    std::vector<std::string> before = directory_names(sandbox.root());

    process_result refused = sfxpack(create, limited);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.standard_error.find("out.exe: cannot write the package file"),
              std::string::npos)
        << refused.standard_error;
    expect_one_error_line(refused.standard_error);
    EXPECT_EQ(directory_names(sandbox.root()), before) << "no package, no temporary file";

    put("out.exe", "an earlier package");
    EXPECT_EQ(sfxpack(create, limited).status, 1);
    EXPECT_EQ(read_file(path("out.exe")), "an earlier package");
}

// A signal that ends sfxpack while it writes a big package removes the
// temporary package: nothing is left but the inputs.
class PackerInterrupted : public Packer, public ::testing::WithParamInterface<int> {};

TEST_P(PackerInterrupted, LeavesNoTemporaryPackage) {
    put("in/SETUP.EXE", setup_program(), 0755);
    // Sparse: 200 MiB to write take long enough to be interrupted.
    put("in/BIG.BIN", "");
    ASSERT_EQ(truncate(path("in/BIG.BIN").c_str(), int64_t{200} << 20), 0);
    std::vector<std::string> before = directory_names(sandbox.root());

    bool signalled = false;
    process_request interrupted;
    interrupted.while_running = [&](pid_t packer) {
        // Once the temporary package has bytes in it, sfxpack has long since
        // noted its name for removal.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!signalled && std::chrono::steady_clock::now() < deadline) {
            for (const std::string& name : directory_names(sandbox.root())) {
                struct stat info {};
                if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0 &&
                    stat(path(name).c_str(), &info) == 0 && info.st_size > 0) {
                    signalled = kill(packer, GetParam()) == 0;
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    process_result run =
        sfxpack({"create", "-o", "out.exe", "in/SETUP.EXE", "in/BIG.BIN"}, interrupted);
    ASSERT_TRUE(signalled) << "no temporary package appeared; status " << run.status;
    EXPECT_EQ(run.status, 128 + GetParam()) << "ended by the signal it was sent";
    EXPECT_EQ(directory_names(sandbox.root()), before) << "no package, no temporary file";
}

INSTANTIATE_TEST_SUITE_P(EachSignal, PackerInterrupted, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& tested) {
                             return tested.param == SIGTERM  ? "SIGTERM"
                                    : tested.param == SIGINT ? "SIGINT"
                                                             : "SIGHUP";
                         });

// Four records, each then broken in its own way: verify reports every breach,
// and list, extract and the stub itself refuse the package.
TEST_F(Packer, VerifyReportsEveryBreachOfATamperedPackage) {
    put("in/image.bin", stub_like_image(100));
    for (const char* name : {"SETUP.EXE", "A.TXT", "B.TXT", "C.TXT"})
        put(std::string("in/") + name, name);
    // Without an integrity record, which would refuse the changed table whole.
    ASSERT_EQ(sfxpack({"create", "-o", "good.exe", "--stub", "in/image.bin", "--no-integrity",
                       "in/SETUP.EXE", "in/A.TXT", "in/B.TXT", "in/C.TXT"})
                  .status,
              0);
    EXPECT_EQ(sfxpack({"verify", "good.exe"}).status, 0);

    std::string bytes = read_file(path("good.exe"));
    const size_t table = 4096 + 30;  // the image is filled up to 4096
    ASSERT_EQ(bytes.substr(table, 10), std::string("SETUP.EXE\0", 10));
    bytes[table + 8] = 'F';              // SETUP.EXF: nothing to start
    bytes[table + 14 + 1] = '/';         // A/TXT: a directory part
    bytes[table + 24] = 'c';             // c.TXT: C.TXT in other case
    bytes[table + 34 + 6 + 3] = '\x7F';  // C.TXT's offset: past the end
    put("bad.exe", bytes, 0755);

    process_result verified = sfxpack({"verify", "bad.exe"});
    EXPECT_EQ(verified.status, 1);
    const std::string& report = verified.standard_error;
    const std::string outside = "record 4 (C.TXT) offset " +
                                std::to_string(le32_at(bytes, table + 34 + 6)) +
                                " lies outside the package";
    for (const std::string& breach :
         {std::string("record 2 name \"A/TXT\" contains a path separator"), outside,
          std::string("records 3 (c.TXT) and 4 (C.TXT) differ only in letter case"),
          std::string("no record is named SETUP.EXE")})
        EXPECT_NE(report.find(breach), std::string::npos) << breach << " in:\n" << report;
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 4) << report;

    EXPECT_EQ(sfxpack({"list", "bad.exe"}).status, 1);
    mkdir(path("extracted").c_str(), 0755);
    EXPECT_EQ(sfxpack({"extract", "-C", "extracted", "bad.exe"}).status, 1);
    EXPECT_TRUE(directory_names(path("extracted")).empty());

    // The same archive behind the real stub: its offsets no longer fit the
    // bodies, but the stub checks the whole table first and refuses it.
    sandbox.write_package(stub_image() + bytes.substr(4096));
    run_options options;
    options.expect_setup = false;
    stub_run run = sandbox.run(options);
    EXPECT_EQ(run.status, 4);
    EXPECT_TRUE(run.files.empty());
}

struct invocation {
    const char* case_name;
    std::vector<std::string> arguments;
    int status;
    const char* output;  // part of standard output (status 0) or of the error line
};

void PrintTo(const invocation& invocation, std::ostream* out) {
    *out << invocation.case_name;
}

class PackerCommandLine : public Packer, public ::testing::WithParamInterface<invocation> {
protected:
    void SetUp() override {
        Packer::SetUp();
        put("in/a.txt", "not a package");
    }
};

TEST_P(PackerCommandLine, AnswersWithItsStatus) {
    process_result run = sfxpack(GetParam().arguments);
    EXPECT_EQ(run.status, GetParam().status);
    const std::string& text = run.status == 0 ? run.standard_output : run.standard_error;
    EXPECT_NE(text.find(GetParam().output), std::string::npos) << text;
    if (run.status != 0) expect_one_error_line(run.standard_error);
}

INSTANTIATE_TEST_SUITE_P(
    UsageAndInformation, PackerCommandLine,
    ::testing::Values(
        invocation{"help",
                   {"--help"},
                   0,
                   "sfxpack create -o OUT [--target TARGET | --stub STUB] [--no-setup]"},
        invocation{"help_of_a_command",
                   {"extract", "--help"},
                   0,
                   "Usage: sfxpack extract [-C DIR] [-q] PKG"},
        invocation{"help_of_create_names_its_options",
                   {"create", "--help"},
                   0,
                   "--no-integrity   leave out the integrity record"},
        invocation{"version", {"--version"}, 0, "sfxpack "},
        invocation{"nothing", {}, 2, "no command given"},
        invocation{"unknown_command", {"pack", "x"}, 2, "unknown command 'pack'"},
        invocation{"create_without_output", {"create", "in/a.txt"}, 2, "no output file given"},
        invocation{"create_without_items",
                   {"create", "-o", "z.exe"},
                   2,
                   "create: no ITEM given: name the files to pack, SETUP.EXE among them"},
        invocation{"output_given_twice",
                   {"create", "-o", "a.exe", "-o", "b.exe", "in/a.txt"},
                   2,
                   "create: option -o given more than once"},
        invocation{"target_and_stub",
                   {"create", "-o", "a.exe", "--target", "native", "--stub", "s", "in/a.txt"},
                   2,
                   "give either --target or --stub, not both"},
        invocation{"unknown_target",
                   {"create", "-o", "a.exe", "--target", "dos", "in/a.txt"},
                   1,
                   "unknown target 'dos' (windows-i686, windows-x86_64 or native)"},
        invocation{"missing_stub",
                   {"create", "-o", "a.exe", "--stub", "nosuch", "in/a.txt"},
                   1,
                   "nosuch: cannot open the stub image"},
        invocation{"a_text_as_stub",
                   {"create", "-o", "a.exe", "--stub", "in/a.txt", "in/a.txt"},
                   1,
                   "in/a.txt: not a program image (no PE or ELF header), so not a stub"},
        invocation{"a_program_that_is_no_stub",
                   {"create", "-o", "a.exe", "--stub", "/bin/true", "in/a.txt"},
                   1,
                   "/bin/true: a program, but not a stub"},
        invocation{"the_same_file_twice",
                   {"create", "-o", "a.exe", "--no-setup", "in/a.txt", "in/a.txt"},
                   1,
                   "in/a.txt: entry name \"a.txt\" is given twice (the same file)"},
        invocation{"verify_as_json",
                   {"verify", "--json", "in/a.txt"},
                   1,
                   "sfxpack: in/a.txt: Unable to locate Table Marker."},
        invocation{
            "option_of_another_command", {"list", "-C", "x", "p.exe"}, 2, "unknown option '-C'"},
        invocation{"option_without_value", {"extract", "p.exe", "-C"}, 2, "-C needs a value"},
        invocation{"two_packages", {"verify", "a.exe", "b.exe"}, 2, "more than one package"},
        invocation{
            "missing_package", {"list", "none.exe"}, 1, "Unable to open package file none.exe."},
        invocation{"not_a_package",
                   {"verify", "in/a.txt"},
                   1,
                   "in/a.txt: Unable to locate Table Marker."}),
    [](const ::testing::TestParamInfo<invocation>& tested) { return tested.param.case_name; });

}  // namespace
}  // namespace sfx::test
