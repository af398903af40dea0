#include "package_inspection.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "exit_status.h"
#include "package_reader.h"
#include "package_rules.h"
#include "printable_text.h"
#include "stub.h"

namespace sfxpack {
namespace {

// Prints the reader's failure_text as one line. Where it does not name the
// package ("Unable to locate Table Marker."), the path is put in front.
void report_failure() {
    const char* path = sfx::package_path != nullptr ? sfx::package_path : "";
    if (strstr(sfx::failure_text, path) != nullptr)
        fprintf(stderr, "sfxpack: %s", sfx::failure_text);
    else
        fprintf(stderr, "sfxpack: %s: %s", path, sfx::failure_text);
}

// Opens the package into image_stream and finds its table marker; on success
// base_offset holds the offset just past the marker.
bool open_package(const char* path) {
    sfx::reset_reader_state();
    sfx::package_path = path;
    sfx::image_stream = fopen(path, "rb");
    if (sfx::image_stream == nullptr)
        return sfx::set_failure("Unable to open package file %s.\n", path);
    return sfx::scan_for_table_marker();
}

void close_package() {
    if (sfx::image_stream != nullptr) fclose(sfx::image_stream);
    sfx::image_stream = nullptr;
}

// Runs `step` on an opened package and closes it; reports a failure of
// either and turns it into an exit status.
template <typename Step>
int with_package(const char* path, Step step) {
    bool ok = open_package(path) && step();
    if (!ok) report_failure();
    close_package();
    return ok ? EXIT_OK : EXIT_BAD_INPUT;
}

std::vector<std::string> table_names() {
    std::vector<std::string> names;
    for (int i = 0; sfx::file_table[i].name[0] != '\0'; ++i) names.push_back(sfx::file_table[i].name);
    return names;
}

// A name or path as a JSON string. Bytes outside ASCII (a name in the
// system's ANSI code page) are shown as the code point of the same number, so
// the document stays valid UTF-8 whatever the name holds.
std::string json_string(const char* text) {
    std::string quoted = "\"";
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        if (*c == '"' || *c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(*c);
        } else if (*c < 0x20 || *c >= 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", *c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(*c);
        }
    }
    return quoted + "\"";
}

// `text` as it may be shown on a terminal.
std::string shown(const char* text) {
    std::vector<char> out(sfx::printable_size(strlen(text)));
    return sfx::printable_text(text, out.data(), out.size());
}

void print_listing(const char* path, int32_t table_start, bool json, FILE* out) {
    long marker = static_cast<long>(table_start - sfx::MARKER_LENGTH);
    long bodies_end = static_cast<long>(sfx::base_offset);
    const sfx::table_entry* table = sfx::file_table;
    bool empty = table[0].name[0] == '\0';
    if (json) {
        fprintf(out, "{\"package\": %s, \"marker_offset\": %ld, \"table_offset\": %ld, ",
                json_string(path).c_str(), marker, static_cast<long>(table_start));
        if (empty)
            fprintf(out, "\"first_body_offset\": null, ");
        else
            fprintf(out, "\"first_body_offset\": %ld, ", static_cast<long>(table[0].offset));
        fprintf(out, "\"bodies_end\": %ld, \"entries\": [", bodies_end);
        for (int i = 0; table[i].name[0] != '\0'; ++i)
            fprintf(out, "%s{\"record\": %d, \"name\": %s, \"offset\": %ld, \"size\": %ld}",
                    i == 0 ? "" : ", ", i + 1, json_string(table[i].name).c_str(),
                    static_cast<long>(table[i].offset), static_cast<long>(table[i].size));
        fprintf(out, "]}\n");
        return;
    }
    fprintf(out, "package     %s\n", shown(path).c_str());
    fprintf(out, "marker      at %ld\n", marker);
    fprintf(out, "table       at %ld\n", static_cast<long>(table_start));
    if (empty)
        fprintf(out, "bodies      none, the package ends at %ld\n", bodies_end);
    else
        fprintf(out, "bodies      from %ld to %ld\n", static_cast<long>(table[0].offset),
                bodies_end);
    fprintf(out, "record  name              offset        size\n");
    for (int i = 0; table[i].name[0] != '\0'; ++i)
        fprintf(out, "%6d  %-12s  %10ld  %10ld\n", i + 1, shown(table[i].name).c_str(),
                static_cast<long>(table[i].offset), static_cast<long>(table[i].size));
}

}  // namespace

int list_package(const char* path, bool json, FILE* out) {
    return with_package(path, [&] {
        int32_t table_start = sfx::base_offset;
        if (!sfx::load_valid_file_table(table_start)) return false;
        print_listing(path, table_start, json, out);
        return true;
    });
}

int verify_package(const char* path, bool require_setup, FILE* out) {
    int breaches = 0;
    int status = with_package(path, [&] {
        if (!sfx::read_file_table(sfx::base_offset)) return false;
        // Unlike the stub, go on past a bad record to report every one.
        for (int record = 0; sfx::file_table[record].name[0] != '\0'; ++record)
            if (!sfx::check_table_record(record)) {
                report_failure();
                ++breaches;
            }
        std::vector<std::string> names = table_names();
        size_t first = 0, second = 0;
        if (find_case_duplicate(names, first, second)) {
            fprintf(stderr,
                    "sfxpack: %s: records %d (%s) and %d (%s) differ only in letter case; "
                    "on Windows the later replaces the earlier.\n",
                    path, static_cast<int>(first + 1), shown(names[first].c_str()).c_str(), static_cast<int>(second + 1),
                    shown(names[second].c_str()).c_str());
            ++breaches;
        }
        if (require_setup && !has_setup_program(names)) {
            fprintf(stderr, "sfxpack: %s: no record is named %s, so the package starts nothing.\n",
                    path, sfx::SETUP_PROGRAM_NAME);
            ++breaches;
        }
        if (breaches == 0)
            fprintf(out, "%s: sound, %d entries, bodies end at %ld\n", shown(path).c_str(),
                    static_cast<int>(names.size()), static_cast<long>(sfx::base_offset));
        return true;
    });
    return breaches > 0 ? EXIT_BAD_INPUT : status;
}

int extract_package(const char* path, const char* directory) {
    return with_package(path, [&] {
        if (!sfx::load_valid_file_table(sfx::base_offset)) return false;
        if (directory != nullptr) {
            // The shared writer opens bare names in the current directory, as
            // the stub does; the package is already open by its own path.
            std::error_code failure;
            std::filesystem::current_path(directory, failure);
            if (failure)
                return sfx::set_failure("Unable to enter directory %s: %s.\n", directory,
                                        failure.message().c_str());
        }
        return sfx::write_output_files();
    });
}

}  // namespace sfxpack
