// sfxpack list, verify and extract: reports on a package read with the stub's own steps.
#include "tools/package_inspection.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "src/failure.h"
#include "src/printable_text.h"
#include "src/reader_session.h"
#include "src/stub.h"
#include "tools/exit_status.h"
#include "tools/package_rules.h"
#include "tools/problem_line.h"

namespace sfx::pack {
namespace {

// The version of the JSON documents' layout, raised on any incompatible change.
constexpr int JSON_FORMAT = 1;

std::string json_string(const char* text);

// Every problem found with a package: each is reported at once as a line on
// the errors stream, and kept for a JSON verdict.
struct problem_list {
    FILE* errors;
    std::vector<std::string> texts;

    void add(const std::string& text) {
        report_problem(errors, text);
        std::string line = text;
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        texts.push_back(line);
    }

    // A reading step's failure. Where it does not name the package ("Unable
    // to locate Table Marker."), the path is put in front.
    void add_failure(const char* path, const char* failure) {
        // The reading steps show a path made printable, and perhaps shortened.
        if (strstr(failure, sfx::shown_path(path).c_str()) != nullptr)
            add(failure);
        else
            add(std::string(path) + ": " + failure);
    }
};

// Opens the package at `path` in `session`, finds its marker and runs
// `step`; reports a failure of any of them to `problems` and turns it into an
// exit status.
template <typename Step>
int with_package(const char* path, problem_list& problems, Step step) {
    sfx::reader_session session(path);
    bool ok = session.open() && session.find_marker() && step(session);
    if (!ok) problems.add_failure(path, session.failure());
    return ok ? EXIT_OK : EXIT_BAD_INPUT;
}

// "1 entry", "2 entries".
std::string count_of(size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The JSON array of `texts`.
std::string json_array(const std::vector<std::string>& texts) {
    std::string array = "[";
    for (size_t i = 0; i < texts.size(); ++i)
        array += (i == 0 ? "" : ", ") + json_string(texts[i].c_str());
    return array + "]";
}

// The length of the file at `path`, or -1.
long file_length(const char* path) {
    std::error_code failure;
    const auto length = std::filesystem::file_size(path, failure);
    return failure ? -1 : static_cast<long>(length);
}

std::vector<std::string> table_names(const std::vector<sfx::table_entry>& table) {
    std::vector<std::string> names;
    for (const sfx::table_entry& entry : table)
        names.push_back(entry.name);
    return names;
}

// A name or path as a JSON string of ASCII characters. A byte outside ASCII
// means a character of whatever ANSI code page the package is run under, so
// it is shown as the four characters \xNN (in JSON, "\\xNN"): a name the
// stub accepts holds no backslash, so in a name that form cannot be mistaken
// for the name's own characters. Control characters are JSON escapes.
std::string json_string(const char* text) {
    std::string quoted = "\"";
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        char escape[8];
        if (*c == '"' || *c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(*c);
        } else if (*c >= 0x80) {
            snprintf(escape, sizeof escape, "\\\\x%02X", *c);
            quoted += escape;
        } else if (*c < 0x20 || *c == 0x7F) {
            snprintf(escape, sizeof escape, "\\u%04x", *c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(*c);
        }
    }
    return quoted + "\"";
}

// A checksum as sixteen hexadecimal digits.
std::string hex(uint64_t value) {
    char digits[17];
    snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
    return digits;
}

// The first byte outside ASCII in `name`, or 0.
unsigned char first_non_ascii(const std::string& name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80) return static_cast<unsigned char>(c);
    return 0;
}

void print_listing(const char* path, const sfx::reader_session& session, bool json, FILE* out) {
    const int32_t table_start = session.table_start();
    long marker = static_cast<long>(table_start - sfx::MARKER_LENGTH);
    long bodies_end = static_cast<long>(session.package_length());
    const std::vector<sfx::table_entry> table = session.entries();
    bool empty = table.empty();
    const bool integrity = session.has_integrity_record();
    const sfx::integrity_record record = session.integrity();
    const long length = file_length(path);
    if (json) {
        fprintf(out,
                "{\"format\": %d, \"package\": %s, \"package_length\": %ld, \"signed\": %s, "
                "\"marker_offset\": %ld, \"table_offset\": %ld, ",
                JSON_FORMAT, json_string(path).c_str(), length,
                length > bodies_end ? "true" : "false", marker, static_cast<long>(table_start));
        if (empty)
            fprintf(out, "\"first_body_offset\": null, ");
        else
            fprintf(out, "\"first_body_offset\": %ld, ", static_cast<long>(table[0].offset));
        fprintf(out, "\"bodies_end\": %ld, \"integrity_record\": %s, \"entries\": [", bodies_end,
                integrity ? "true" : "false");
        for (size_t i = 0; i < table.size(); ++i) {
            fprintf(out, "%s{\"record\": %d, \"name\": %s, \"offset\": %ld, \"size\": %ld",
                    i == 0 ? "" : ", ", static_cast<int>(i + 1), json_string(table[i].name).c_str(),
                    static_cast<long>(table[i].offset), static_cast<long>(table[i].size));
            if (integrity) fprintf(out, ", \"checksum\": \"%s\"", hex(record.checksums[i]).c_str());
            fprintf(out, "}");
        }
        fprintf(out, "]}\n");
        return;
    }
    fprintf(out, "package     %s, %ld bytes%s\n", shown(path).c_str(), length,
            length > bodies_end ? ", signed" : "");
    fprintf(out, "marker      at %ld\n", marker);
    fprintf(out, "table       at %ld\n", static_cast<long>(table_start));
    if (empty)
        fprintf(out, "bodies      none, the package ends at %ld\n", bodies_end);
    else
        fprintf(out, "bodies      from %ld to %ld\n", static_cast<long>(table[0].offset),
                bodies_end);
    fprintf(out, "integrity   %s\n",
            integrity ? "a record of the length and every checksum (XXH3-64)" : "no record");
    fprintf(out, "record  name              offset        size%s\n", integrity ? "  checksum" : "");
    for (size_t i = 0; i < table.size(); ++i) {
        fprintf(out, "%6d  %-12s  %10ld  %10ld", static_cast<int>(i + 1),
                shown(table[i].name).c_str(), static_cast<long>(table[i].offset),
                static_cast<long>(table[i].size));
        if (integrity) fprintf(out, "  %s", hex(record.checksums[i]).c_str());
        fprintf(out, "\n");
    }
}

}  // namespace

int list_package(const char* path, bool json, FILE* out, FILE* errors) {
    problem_list problems{errors, {}};
    const int status = with_package(path, problems, [&](sfx::reader_session& session) {
        if (!session.load_table()) return false;
        print_listing(path, session, json, out);
        return true;
    });
    if (json && status != EXIT_OK)
        fprintf(out, "{\"format\": %d, \"package\": %s, \"error\": %s}\n", JSON_FORMAT,
                json_string(path).c_str(), json_string(problems.texts.front().c_str()).c_str());
    return status;
}

int verify_package(const char* path, bool require_setup, bool json, FILE* out, FILE* errors) {
    problem_list problems{errors, {}};
    size_t entry_count = 0;
    long bodies_end = -1;
    bool integrity = false;
    int status = with_package(path, problems, [&](sfx::reader_session& session) {
        if (!session.read_table()) return false;
        std::vector<std::string> names = table_names(session.entries());
        entry_count = names.size();
        bodies_end = static_cast<long>(session.package_length());
        integrity = session.has_integrity_record();
        // Unlike the stub, go on past a bad record to report every one.
        for (size_t record = 0; record < names.size(); ++record)
            if (!session.check_record(static_cast<int>(record)))
                problems.add_failure(path, session.failure());
        for (size_t record = 0; record < names.size(); ++record)
            if (unsigned char byte = first_non_ascii(names[record])) {
                char problem[160];
                snprintf(problem, sizeof problem,
                         "record %d holds the byte 0x%02X outside ASCII; what it means depends on "
                         "the code page of the machine that runs the package.",
                         static_cast<int>(record + 1), byte);
                problems.add(std::string(path) + ": " + problem);
            }
        size_t first = 0, second = 0;
        if (find_case_duplicate(names, first, second))
            problems.add(std::string(path) + ": records " + std::to_string(first + 1) + " (" +
                         names[first] + ") and " + std::to_string(second + 1) + " (" +
                         names[second] +
                         ") differ only in letter case; on Windows the later replaces the "
                         "earlier.");
        // Every body against the integrity record, once the table itself is
        // sound enough to give each body's place.
        if (problems.texts.empty() && integrity) {
            session.size_table();
            for (size_t record = 0; record < names.size(); ++record)
                if (!session.check_body(static_cast<int>(record)))
                    problems.add_failure(path, session.failure());
        }
        if (require_setup && !has_setup_program(names))
            problems.add(std::string(path) + ": no record is named " + sfx::SETUP_PROGRAM_NAME +
                         ", so the package starts nothing.");
        return true;
    });
    const bool sound = status == EXIT_OK && problems.texts.empty();
    if (json)
        fprintf(out,
                "{\"format\": %d, \"package\": %s, \"sound\": %s, \"entries\": %zu, "
                "\"bodies_end\": %ld, \"integrity_record\": %s, \"problems\": %s}\n",
                JSON_FORMAT, json_string(path).c_str(), sound ? "true" : "false", entry_count,
                bodies_end, integrity ? "true" : "false", json_array(problems.texts).c_str());
    else if (sound)
        fprintf(out, "%s: sound, %s, bodies end at %ld, %s\n", shown(path).c_str(),
                count_of(entry_count, "entry", "entries").c_str(), bodies_end,
                integrity ? "every checksum holds" : "no integrity record");
    return sound ? EXIT_OK : EXIT_BAD_INPUT;
}

namespace {

// Where extract_package names each file it has written; null for quiet.
FILE* extracted_names = nullptr;

void name_extracted_file(const char* name) {
    fprintf(extracted_names, "extracted: %s\n", shown(name).c_str());
}

}  // namespace

int extract_package(const char* path, const char* directory, FILE* out, FILE* errors) {
    problem_list problems{errors, {}};
    extracted_names = out;
    return with_package(path, problems, [&](sfx::reader_session& session) {
        if (!session.load_table()) return false;
        if (directory != nullptr) {
            // Like unzip -d: the directory, and any missing parent, is made.
            // The shared writer opens bare names in the current directory, as
            // the stub does; the package is already open by its own path.
            std::error_code failure;
            std::filesystem::create_directories(directory, failure);
            if (!failure) std::filesystem::current_path(directory, failure);
            if (failure)
                return sfx::set_failure("Unable to enter directory %s: %s.\n",
                                        sfx::shown_path(directory).c_str(),
                                        failure.message().c_str());
        }
        return session.write_files(out != nullptr ? name_extracted_file : nullptr);
    });
}

}  // namespace sfx::pack
