// Packages made by the real sfxpack create around the stub under test, then
// cut short, bit-flipped or extended as a download or a disk might: the
// stub, sfxpack verify and sfxpack extract accept the intact package and
// refuse a damaged one with the line that says how, before writing anything
// or, for a damaged body, at that body.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "src/body_checksum.h"
#include "src/stub.h"
#include "tests/support/package_bytes.h"
#include "tests/support/packer_runner.h"
#include "tests/support/stub_runner.h"
#include "tests/support/test_files.h"

namespace sfx::test {
namespace {

// The packed files, in table order: SETUP.EXE between two others, the last
// of an odd length.
struct packed_file {
    const char* name;
    std::string body;
};

const std::vector<packed_file>& packed_files() {
    static const std::vector<packed_file> files = {
        {"FIRST.TXT", patterned(10000, 1)},
        {"SETUP.EXE", setup_program()},
        {"LAST.BIN", patterned(70001, 2)},
    };
    return files;
}

const std::string& body_of(const std::string& name) {
    for (const packed_file& file : packed_files())
        if (name == file.name) return file.body;
    ADD_FAILURE() << "no packed file " << name;
    static const std::string none;
    return none;
}

// In work/ before every run: a SETUP.EXE that a refusing stub must not start
// and a LAST.BIN that a damaged body must not replace.
const std::map<std::string, std::string>& earlier_files() {
    static const std::map<std::string, std::string> files = {
        {"SETUP.EXE", setup_program()},
        {"LAST.BIN", "an earlier LAST.BIN\n"},
    };
    return files;
}

const char APPENDED[] = "bytes appended after packing";

void flip(std::string& bytes, size_t at, unsigned bits) {
    bytes.at(at) = static_cast<char>(static_cast<unsigned char>(bytes.at(at)) ^ bits);
}

// Where the parts of a package lie, read from its bytes, not from the
// packer's plan.
struct package_map {
    size_t marker = 0;
    size_t record = 0;  // where an integrity record would start
    size_t table = 0;   // just past the marker
    std::vector<size_t> bodies;
};

package_map map_of(const std::string& bytes) {
    package_map map;
    map.marker = bytes.find(table_marker());
    map.record = map.marker - INTEGRITY_RECORD_SIZE;
    map.table = map.marker + MARKER_LENGTH;
    for (size_t at = map.table; bytes.at(at) != '\0';) {
        at = bytes.find('\0', at) + 1;
        map.bodies.push_back(static_cast<size_t>(le32_at(bytes, at)));
        at += OFFSET_FIELD_SIZE;
    }
    return map;
}

// One line that names the package: `before`, its path, `after`.
struct package_line {
    std::string before;
    std::string after;
};

package_line table_line(const std::string& problem) {
    return {"Invalid file table in ", ": " + problem + "."};
}

package_line length_line(size_t length, size_t expected) {
    return table_line(
        "the package is " + std::to_string(length) + " bytes, " + std::to_string(expected) +
        " expected (" +
        (length < expected ? "an incomplete download?" : "bytes added after packing?") + ")");
}

package_line body_line(const std::string& name) {
    return {"The contents of " + name + " in ", " are damaged (a checksum does not match)."};
}

struct damage_case {
    const char* what;
    bool integrity;  // created with the record, the default
    void (*damage)(std::string& bytes, const package_map& map);
    // What verify reports, in order, given the package's length as packed
    // and as damaged; the stub and extract stop at the first. None: the
    // package is accepted.
    std::vector<package_line> (*lines)(size_t packed, size_t damaged);
    std::vector<std::string> written;  // the entries extracted whole
    bool last_takes_appended = false;  // LAST.BIN ends in APPENDED
};

void PrintTo(const damage_case& c, std::ostream* out) {
    *out << c.what;
}

std::vector<package_line> accepted(size_t, size_t) {
    return {};
}

// Cut short or grown: the length disagrees with the record's.
std::vector<package_line> length_differs(size_t packed, size_t damaged) {
    return {length_line(damaged, packed)};
}

const std::vector<std::string> EVERY_FILE = {"FIRST.TXT", "SETUP.EXE", "LAST.BIN"};

const damage_case damage_cases[] = {
    {"intact", true, [](std::string&, const package_map&) {}, accepted, EVERY_FILE},
    {"cut by one byte",
     true,
     [](std::string& bytes, const package_map&) { bytes.pop_back(); },
     length_differs,
     {}},
    // Half the bodies rather than half the file: with a large stub build
    // (the sanitizer's) half the file ends inside its image, before the marker.
    {"cut half way through the bodies",
     true,
     [](std::string& bytes, const package_map& map) {
         bytes.resize(map.bodies[0] + (bytes.size() - map.bodies[0]) / 2);
     },
     length_differs,
     {}},
    // The table itself is incomplete; the length is what the line tells.
    {"cut just after the marker",
     true,
     [](std::string& bytes, const package_map& map) { bytes.resize(map.table + 4); },
     length_differs,
     {}},
    {"a bit flipped in the first body",
     true,
     [](std::string& bytes, const package_map& map) { flip(bytes, map.bodies[0] + 5000, 0x01); },
     [](size_t, size_t) { return std::vector<package_line>{body_line("FIRST.TXT")}; },
     {}},
    {"a bit flipped in the last body",
     true,
     [](std::string& bytes, const package_map&) { flip(bytes, bytes.size() - 1, 0x80); },
     [](size_t, size_t) { return std::vector<package_line>{body_line("LAST.BIN")}; },
     {"FIRST.TXT", "SETUP.EXE"}},
    {"a bit flipped in the first and in the last body",
     true,
     [](std::string& bytes, const package_map& map) {
         flip(bytes, map.bodies[0], 0x01);
         flip(bytes, bytes.size() - 1, 0x80);
     },
     [](size_t, size_t) {
         return std::vector<package_line>{body_line("FIRST.TXT"), body_line("LAST.BIN")};
     },
     {}},
    // FIRST.TXT becomes fIRST.TXT, a name as sound as the packed one.
    {"a bit flipped in the table",
     true,
     [](std::string& bytes, const package_map& map) { flip(bytes, map.table, 0x20); },
     [](size_t, size_t) {
         return std::vector<package_line>{
             table_line("its table does not match the integrity record (a damaged file?)")};
     },
     {}},
    {"a bit flipped in the record's table checksum",
     true,
     [](std::string& bytes, const package_map& map) { flip(bytes, map.record + 24, 0x01); },
     [](size_t, size_t) {
         return std::vector<package_line>{table_line("its integrity record is damaged")};
     },
     {}},
    {"a bit flipped in the record's version",
     true,
     [](std::string& bytes, const package_map& map) { flip(bytes, map.record + 8, 0x02); },
     [](size_t, size_t) {
         return std::vector<package_line>{
             table_line("its integrity record has version 3, which this program does not know")};
     },
     {}},
    {"bytes appended",
     true,
     [](std::string& bytes, const package_map&) { bytes += APPENDED; },
     length_differs,
     {}},
    // Without a record nothing tells them from the last body, as before.
    {"bytes appended to a package without a record", false,
     [](std::string& bytes, const package_map&) { bytes += APPENDED; }, accepted, EVERY_FILE, true},
};

class IntegrityPackage : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(sandbox.root().empty());
        ASSERT_TRUE(write_file(path("stub.exe"), stub_image(), 0755));
        for (const packed_file& file : packed_files())
            ASSERT_TRUE(write_file(path(file.name), file.body, 0755));
    }

    std::string path(const std::string& relative) const { return sandbox.root() + "/" + relative; }
    process_result sfxpack(const std::vector<std::string>& arguments) {
        return run_packer(arguments, sandbox.root());
    }

    // Packs every file into root/pkg.exe with the stub under test and
    // returns the package's bytes.
    std::string create(bool integrity) {
        std::vector<std::string> arguments = {"create", "-o", "pkg.exe", "--stub", "stub.exe"};
        if (!integrity) arguments.push_back("--no-integrity");
        for (const packed_file& file : packed_files())
            arguments.push_back(file.name);
        process_result created = sfxpack(arguments);
        EXPECT_EQ(created.status, 0) << created.standard_error;
        return read_file(path("pkg.exe"));
    }

    stub_sandbox sandbox;  // root/: the inputs and pkg.exe; work/ for the stub
};

// The one line `line` for the package at `package`, as sfxpack prints it.
std::string packer_line(const package_line& line, const std::string& package) {
    return "sfxpack: " + line.before + package + line.after + "\n";
}

class IntegrityDamage : public IntegrityPackage, public testing::WithParamInterface<damage_case> {};

TEST_P(IntegrityDamage, IsToldAlikeByTheStubVerifyAndExtract) {
    const damage_case& c = GetParam();
    std::string bytes = create(c.integrity);
    ASSERT_FALSE(HasFailure());
    const package_map map = map_of(bytes);
    ASSERT_EQ(map.bodies.size(), packed_files().size());
    const size_t packed_length = bytes.size();
    c.damage(bytes, map);
    const std::vector<package_line> lines = c.lines(packed_length, bytes.size());
    const bool refused = !lines.empty();

    std::map<std::string, std::string> extracted;
    for (const std::string& name : c.written)
        extracted[name] = body_of(name);
    if (c.last_takes_appended) extracted["LAST.BIN"] += APPENDED;

    // The stub.
    sandbox.write_package(bytes);
    for (const auto& [name, content] : earlier_files())
        ASSERT_TRUE(write_file(sandbox.work_dir() + "/" + name, content, 0755));
    stub_run run = sandbox.run();
    EXPECT_EQ(run.status, refused ? FAILURE_STATUS : 0);
    EXPECT_EQ(run.standard_output, "");
    const std::string error = normalized_error(run.standard_error);
    if (!refused) {
        EXPECT_EQ(error, "");
    } else {
        const package_line& first = lines.front();
        const std::string after = first.after + "\n";
        ASSERT_GE(error.size(), first.before.size() + after.size()) << error;
        EXPECT_EQ(error.substr(0, first.before.size()), first.before) << error;
        EXPECT_EQ(error.substr(error.size() - after.size()), after) << error;
        EXPECT_EQ(error.find('\n'), error.size() - 1) << "one line: " << error;
        // A Windows stub names its file in the emulated system's own form.
        if (!runner_active()) {
            EXPECT_EQ(error.substr(first.before.size(),
                                   error.size() - first.before.size() - after.size()),
                      sandbox.package_path());
        }
    }
    std::map<std::string, std::string> left = earlier_files();
    for (const auto& [name, content] : extracted)
        left[name] = content;
    std::vector<std::string> names, expected_names;
    for (const auto& [name, file] : run.files)
        names.push_back(name);
    for (const auto& [name, content] : left)
        expected_names.push_back(name);
    EXPECT_EQ(names, expected_names) << "(no temporary file either)";
    for (const auto& [name, content] : left) {
        if (run.files.count(name) != 0) {
            EXPECT_TRUE(run.files.at(name).content == content) << name << " is not as expected";
        }
    }
    EXPECT_EQ(run.setup.has_value(), !refused) << "whether SETUP.EXE was started";

    // verify: every damaged body on its own line.
    ASSERT_TRUE(write_file(path("pkg.exe"), bytes, 0755));
    process_result verified = sfxpack({"verify", "pkg.exe"});
    EXPECT_EQ(verified.status, refused ? 1 : 0);
    std::string report;
    for (const package_line& line : lines)
        report += packer_line(line, "pkg.exe");
    EXPECT_EQ(verified.standard_error, report);
    if (!refused) {
        EXPECT_NE(verified.standard_output.find(c.integrity ? "every checksum holds"
                                                            : "no integrity record"),
                  std::string::npos)
            << verified.standard_output;
    }

    // extract: the stub's judgement, into a folder of its own.
    ASSERT_EQ(mkdir(path("out").c_str(), 0755), 0);
    process_result unpacked = sfxpack({"extract", "-C", "out", "pkg.exe"});
    EXPECT_EQ(unpacked.status, refused ? 1 : 0);
    EXPECT_EQ(unpacked.standard_error, refused ? packer_line(lines.front(), "pkg.exe") : "");
    std::vector<std::string> out_names;
    for (const auto& [name, content] : extracted) {
        out_names.push_back(name);
        EXPECT_TRUE(read_file(path("out/" + name)) == content) << name << " is not as expected";
    }
    std::sort(out_names.begin(), out_names.end());
    EXPECT_EQ(directory_names(path("out")), out_names);
}

INSTANTIATE_TEST_SUITE_P(Packages, IntegrityDamage, testing::ValuesIn(damage_cases));

std::string hex(uint64_t value) {
    char digits[17];
    snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
    return digits;
}

TEST_F(IntegrityPackage, ListShowsTheRecordAndEveryChecksum) {
    for (bool integrity : {true, false}) {
        SCOPED_TRACE(integrity ? "with a record" : "without a record");
        const std::string bytes = create(integrity);
        ASSERT_FALSE(HasFailure());
        const package_map map = map_of(bytes);
        process_result listed = sfxpack({"list", "--json", "pkg.exe"});
        ASSERT_EQ(listed.status, 0) << listed.standard_error;
        const std::string& json = listed.standard_output;
        EXPECT_NE(json.find(std::string("\"integrity_record\": ") + (integrity ? "true" : "false")),
                  std::string::npos)
            << json;
        for (size_t i = 0; i < packed_files().size(); ++i) {
            const packed_file& file = packed_files()[i];
            std::string entry = "{\"record\": " + std::to_string(i + 1) + ", \"name\": \"" +
                                file.name + "\", \"offset\": " + std::to_string(map.bodies[i]) +
                                ", \"size\": " + std::to_string(file.body.size());
            if (integrity)
                entry += ", \"checksum\": \"" +
                         hex(checksum_of(reinterpret_cast<const unsigned char*>(file.body.data()),
                                         file.body.size())) +
                         "\"";
            EXPECT_NE(json.find(entry + "}"), std::string::npos) << entry << " in:\n" << json;
        }
        EXPECT_EQ(json.find("checksum") != std::string::npos, integrity) << json;
    }
}

}  // namespace
}  // namespace sfx::test
