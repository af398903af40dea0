// Static checks of the Windows builds, which this machine runs only under
// Wine (i686 and x86_64 alike): the kind of executable, the libraries the
// stub imports, its size, and that no image holds the table marker in one
// piece (the stub would find that copy instead of its package's).
//
// The folders of the built programs come from the environment; unset, the
// checks skip themselves (scripts/test-windows.sh sets them):
//   SFX_TEST_WINDOWS_I686_BIN    e.g. build/mingw-i686/bin
//   SFX_TEST_WINDOWS_X86_64_BIN  e.g. build/mingw-x86_64/bin
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "src/stub.h"
#include "tests/support/package_bytes.h"
#include "tests/support/test_files.h"

namespace {

// Every package carries the 32-bit stub: this much it may weigh at most.
constexpr size_t I686_STUB_SIZE_LIMIT = 40 * 1024;

constexpr uint16_t MACHINE_I386 = 0x14C;
constexpr uint16_t MACHINE_AMD64 = 0x8664;
constexpr uint16_t PE32_MAGIC = 0x10B;
constexpr uint16_t PE32_PLUS_MAGIC = 0x20B;
constexpr uint16_t CONSOLE_SUBSYSTEM = 3;
constexpr uint32_t IMPORT_DIRECTORY = 1;

// The headers and import list of a PE file. Every read is bounds-checked: a
// malformed file yields a failure message, not a crash.
class pe_file {
public:
    explicit pe_file(std::string bytes) : bytes_(std::move(bytes)) {}

    // Reads the headers; false with `error()` set when they are not a PE file's.
    bool parse() {
        if (bytes_.size() < 0x40 || bytes_.compare(0, 2, "MZ") != 0) return fail("no MZ header");
        uint32_t pe = u32(0x3C);
        if (!ok_ || bytes_.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
            return fail("no PE signature");
        machine_ = u16(pe + 4);
        uint16_t section_count = u16(pe + 6);
        uint16_t optional_size = u16(pe + 20);
        size_t optional = pe + 24;
        magic_ = u16(optional);
        subsystem_ = u16(optional + 68);
        size_t directories = optional + (magic_ == PE32_PLUS_MAGIC ? 112 : 96);
        uint32_t directory_count = u32(directories - 4);
        if (directory_count > IMPORT_DIRECTORY) {
            import_rva_ = u32(directories + 8 * IMPORT_DIRECTORY);
        }
        size_t section = optional + optional_size;
        for (uint16_t i = 0; i < section_count && ok_; ++i, section += 40)
            sections_.push_back({u32(section + 12), std::max(u32(section + 8), u32(section + 16)),
                                 u32(section + 20)});
        return ok_ || fail("headers cut short");
    }

    // The names of the imported libraries, in the order the table lists them.
    std::vector<std::string> imported_libraries() {
        std::vector<std::string> names;
        if (import_rva_ == 0) return names;
        std::optional<size_t> descriptor = file_offset(import_rva_);
        for (; descriptor && ok_; *descriptor += 20) {
            uint32_t name_rva = u32(*descriptor + 12);
            if (name_rva == 0) break;  // the all-zero closing descriptor
            std::optional<size_t> name = file_offset(name_rva);
            if (!name || *name >= bytes_.size()) {
                fail("import name outside the file");
                break;
            }
            names.emplace_back(bytes_.c_str() + *name);
        }
        return names;
    }

    uint16_t machine() const { return machine_; }
    uint16_t magic() const { return magic_; }
    uint16_t subsystem() const { return subsystem_; }
    const std::string& error() const { return error_; }

private:
    struct pe_section {
        uint32_t rva, size, file_offset;
    };

    bool fail(const std::string& what) {
        ok_ = false;
        if (error_.empty()) error_ = what;
        return false;
    }

    uint32_t byte(size_t at) {
        if (at >= bytes_.size()) {
            fail("read past the end of the file");
            return 0;
        }
        return static_cast<unsigned char>(bytes_[at]);
    }
    uint16_t u16(size_t at) { return static_cast<uint16_t>(byte(at) | byte(at + 1) << 8); }
    uint32_t u32(size_t at) { return u16(at) | uint32_t{u16(at + 2)} << 16; }

    std::optional<size_t> file_offset(uint32_t rva) {
        for (const pe_section& s : sections_)
            if (rva >= s.rva && rva - s.rva < s.size) return size_t{s.file_offset} + (rva - s.rva);
        fail("address outside every section");
        return std::nullopt;
    }

    std::string bytes_;
    bool ok_ = true;
    std::string error_;
    uint16_t machine_ = 0, magic_ = 0, subsystem_ = 0;
    uint32_t import_rva_ = 0;
    std::vector<pe_section> sections_;
};

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

struct windows_build {
    const char* variable;  // names the folder of the build's programs
    uint16_t machine;
    uint16_t magic;
};

// Names a failing case by its build.
void PrintTo(const windows_build& build, std::ostream* out) {
    *out << build.variable;
}

const windows_build I686 = {"SFX_TEST_WINDOWS_I686_BIN", MACHINE_I386, PE32_MAGIC};
const windows_build X86_64 = {"SFX_TEST_WINDOWS_X86_64_BIN", MACHINE_AMD64, PE32_PLUS_MAGIC};

// The folder of `build`'s programs, or empty when not given.
std::string folder_of(const windows_build& build) {
    const char* folder = getenv(build.variable);
    return folder != nullptr ? folder : "";
}

class WindowsBuild : public testing::TestWithParam<windows_build> {
protected:
    void SetUp() override {
        if (folder_of(GetParam()).empty()) GTEST_SKIP() << GetParam().variable << " is not set";
    }

    // The bytes of `name` in the build's folder.
    std::string program(const char* name) {
        return sfx::test::read_file(folder_of(GetParam()) + "/" + name);
    }
};

TEST_P(WindowsBuild, StubIsAConsoleProgramForItsMachine) {
    pe_file stub(program("sfxstub.exe"));
    ASSERT_TRUE(stub.parse()) << stub.error();
    EXPECT_EQ(stub.machine(), GetParam().machine);
    EXPECT_EQ(stub.magic(), GetParam().magic);
    EXPECT_EQ(stub.subsystem(), CONSOLE_SUBSYSTEM);
}

TEST_P(WindowsBuild, StubImportsOnlyKernel32AndMsvcrt) {
    // Both are KnownDLLs, loaded from the system folder whatever lies beside
    // the package in a download folder.
    pe_file stub(program("sfxstub.exe"));
    ASSERT_TRUE(stub.parse()) << stub.error();
    std::vector<std::string> imported = stub.imported_libraries();
    ASSERT_TRUE(stub.error().empty()) << stub.error();
    std::set<std::string> names;
    for (const std::string& name : imported)
        names.insert(lower(name));
    EXPECT_EQ(names, (std::set<std::string>{"kernel32.dll", "msvcrt.dll"}))
        << "the stub imports " << testing::PrintToString(imported);
}

TEST_P(WindowsBuild, NoProgramHoldsTheTableMarkerInOnePiece) {
    for (const char* name : {"sfxstub.exe", "setup_recorder.exe"}) {
        std::string bytes = program(name);
        ASSERT_FALSE(bytes.empty()) << name;
        EXPECT_EQ(bytes.find(sfx::test::table_marker()), std::string::npos) << name;
    }
    // The stub does hold both halves, each on its own.
    std::string stub = program("sfxstub.exe");
    EXPECT_NE(stub.find(std::string(sfx::marker_vendor) + '\0'), std::string::npos);
    EXPECT_NE(stub.find(std::string(sfx::marker_suffix) + '\0'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(, WindowsBuild, testing::Values(I686, X86_64),
                         [](const testing::TestParamInfo<windows_build>& param_info) {
                             return std::string(
                                 param_info.param.machine == MACHINE_I386 ? "i686" : "x86_64");
                         });

TEST(WindowsI686Stub, FitsTheSizeEveryPackageCarries) {
    if (folder_of(I686).empty()) GTEST_SKIP() << I686.variable << " is not set";
    std::string stub = sfx::test::read_file(folder_of(I686) + "/sfxstub.exe");
    ASSERT_FALSE(stub.empty());
    EXPECT_LE(stub.size(), I686_STUB_SIZE_LIMIT);
    RecordProperty("i686_stub_bytes", static_cast<int>(stub.size()));
}

}  // namespace
