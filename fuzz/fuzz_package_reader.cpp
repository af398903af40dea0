// Arbitrary packages through sfxpack's reading side: list (as text and as
// JSON) and verify. Both commands read the package with the stub's own steps, so
// they must judge it exactly as the stub's loader does, and whatever a
// hostile table holds, what they print must stay plain text: one line per
// problem on standard error, and listings without control characters.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "fuzz/finding.h"
#include "fuzz/package_stream.h"
#include "fuzz/table_layout_check.h"
#include "src/reader_session.h"
#include "tools/exit_status.h"
#include "tools/package_inspection.h"

namespace {

using sfx::fuzz::report_finding;

std::string package_file;  // where each input is written, for the commands to open by path

void remove_package_file() {
    unlink(package_file.c_str());
    rmdir(package_file.substr(0, package_file.rfind('/')).c_str());
}

void write_package_file(const uint8_t* data, size_t size) {
    FILE* file = fopen(package_file.c_str(), "wb");
    if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0)
        report_finding("cannot write %s", package_file.c_str());
}

// What one command printed: its status, standard output and standard error.
struct command_output {
    int status;
    std::string out;
    std::string err;
};

// Runs `command` with streams for its standard output and its problem lines
// caught in memory.
template <typename Command>
command_output capture(Command command) {
    char* out_text = nullptr;
    char* err_text = nullptr;
    size_t out_size = 0;
    size_t err_size = 0;
    FILE* out = open_memstream(&out_text, &out_size);
    FILE* err = open_memstream(&err_text, &err_size);
    if (out == nullptr || err == nullptr) report_finding("cannot open memory streams");
    const int status = command(out, err);
    fclose(out);
    fclose(err);
    command_output result{status, std::string(out_text, out_size), std::string(err_text, err_size)};
    free(out_text);
    free(err_text);
    return result;
}

// Reports a finding when `text` holds a control character other than the
// line ends, or a line that does not end in one.
void check_plain_lines(const char* what, const std::string& text) {
    for (char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c < 0x20 && c != '\n') || c == 0x7F)
            report_finding("%s holds the control character 0x%02X", what, c);
    }
    if (!text.empty() && text.back() != '\n') report_finding("%s does not end its last line", what);
}

// Reports a finding unless every line that `command` wrote to standard error
// is plain text and starts with "sfxpack: ".
void check_problem_lines(const char* command, const std::string& err) {
    check_plain_lines(command, err);
    for (size_t line = 0; line < err.size();) {
        if (err.compare(line, 9, "sfxpack: ") != 0)
            report_finding("%s wrote a line without the \"sfxpack: \" prefix", command);
        line = err.find('\n', line);
        if (line == std::string::npos) break;
        ++line;
    }
}

// The loader's verdict on the package, the names it accepted and whether
// every body has the checksum its integrity record gives (true without a
// record); an accepted table must keep every layout rule.
bool stub_accepts(const uint8_t* data, size_t size, std::vector<std::string>& names,
                  bool& bodies_intact) {
    sfx::reader_session session("package");
    if (!session.adopt(sfx::fuzz::open_package_stream({data, size, size})))
        report_finding("cannot open a stream over the input");
    const bool accepted = session.find_marker() && session.load_table();
    if (accepted) sfx::fuzz::check_accepted_table(session, {data, size, size});
    names.clear();
    bodies_intact = true;
    const std::vector<sfx::table_entry> entries = session.entries();
    for (size_t slot = 0; slot < entries.size(); ++slot) {
        names.emplace_back(entries[slot].name);
        if (accepted && session.has_integrity_record() &&
            XXH3_64bits(data + entries[slot].offset, static_cast<size_t>(entries[slot].size)) !=
                session.integrity().checksums[slot])
            bodies_intact = false;
    }
    return accepted;
}

// Two names that Windows, ignoring ASCII letter case, takes for one file.
bool has_case_duplicate(const std::vector<std::string>& names) {
    auto folded = [](std::string name) {
        for (char& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return name;
    };
    for (size_t second = 0; second < names.size(); ++second)
        for (size_t first = 0; first < second; ++first)
            if (folded(names[first]) == folded(names[second])) return true;
    return false;
}

// True when no name holds a byte outside ASCII, whose meaning would depend on
// the code page of the machine that runs the package.
bool all_ascii(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        for (char c : name)
            if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* temporary = getenv("TMPDIR");
    std::string directory =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/sfx-fuzz-package.XXXXXX";
    if (mkdtemp(&directory[0]) == nullptr) report_finding("cannot create %s", directory.c_str());
    package_file = directory + "/package.exe";
    atexit(remove_package_file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> names;
    bool bodies_intact = true;
    const bool accepted = stub_accepts(data, size, names, bodies_intact);
    write_package_file(data, size);
    const char* path = package_file.c_str();

    const command_output text = capture(
        [&](FILE* out, FILE* err) { return sfx::pack::list_package(path, false, out, err); });
    const command_output json = capture(
        [&](FILE* out, FILE* err) { return sfx::pack::list_package(path, true, out, err); });
    const command_output verify = capture([&](FILE* out, FILE* err) {
        return sfx::pack::verify_package(path, true, false, out, err);
    });

    for (const command_output* listing : {&text, &json})
        if ((listing->status == sfx::pack::EXIT_OK) != accepted)
            report_finding("list says %d where the stub %s the package", listing->status,
                           accepted ? "accepts" : "refuses");
    const bool sound =
        accepted && bodies_intact && !has_case_duplicate(names) && all_ascii(names) &&
        std::find(names.begin(), names.end(), sfx::SETUP_PROGRAM_NAME) != names.end();
    if ((verify.status == sfx::pack::EXIT_OK) != sound)
        report_finding("verify says %d for a package that is %s", verify.status,
                       sound ? "sound" : "not sound");

    check_plain_lines("the listing", text.out);
    check_plain_lines("the JSON listing", json.out);
    check_plain_lines("verify's summary", verify.out);
    check_problem_lines("list", text.err);
    check_problem_lines("list --json", json.err);
    check_problem_lines("verify", verify.err);
    // One line for every record, and the name escaped into ASCII whatever it holds.
    if (accepted) {
        size_t records = 0;
        for (size_t at = json.out.find("\"record\": "); at != std::string::npos;
             at = json.out.find("\"record\": ", at + 1))
            ++records;
        if (records != names.size())
            report_finding("the JSON listing has %zu records, the table %zu", records,
                           names.size());
        for (char byte : json.out)
            if (static_cast<unsigned char>(byte) >= 0x80)
                report_finding("the JSON listing holds the byte 0x%02X",
                               static_cast<unsigned char>(byte));
    }
    return 0;
}
