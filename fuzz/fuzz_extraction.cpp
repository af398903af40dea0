// Whole packages through the stub's path: marker scan, table loading and,
// for every table the loader accepts, extraction into a scratch directory.
// Whatever the package, the only files created must be regular files inside
// the scratch directory, named by the table and passing the name rule, each
// holding its entry's body (the later entry's, for a repeated name); a
// sentinel file beside the scratch directory stays as it was. The scratch
// directory holds a symbolic link to the sentinel: an entry of the link's
// name must fail to open, ending the extraction there, and leave the link.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "absolute_arguments.h"
#include "entry_name.h"
#include "extraction_sandbox.h"
#include "finding.h"
#include "package_reader.h"
#include "package_stream.h"
#include "table_layout_check.h"

namespace {

using sfx_fuzz::report_finding;

// What extracting the loaded table must leave: each name written with the
// body of its last entry, up to the first entry named like the planted link,
// where extraction stops.
struct ExpectedOutcome {
    std::map<std::string, std::string> files;
    bool stops_at_link = false;
};

ExpectedOutcome expected_outcome(const uint8_t* data) {
    ExpectedOutcome outcome;
    for (int slot = 0; sfx::file_table[slot].name[0] != '\0'; ++slot) {
        const sfx::table_entry& entry = sfx::file_table[slot];
        if (strcmp(entry.name, sfx_fuzz::PLANTED_LINK_NAME) == 0) {
            outcome.stops_at_link = true;
            break;
        }
        outcome.files[entry.name].assign(reinterpret_cast<const char*>(data) + entry.offset,
                                         static_cast<size_t>(entry.size));
    }
    return outcome;
}

// Reports a finding unless the planted link still points where it did.
void check_planted_link() {
    char target[sizeof sfx_fuzz::PLANTED_LINK_TARGET + 1] = {};
    const ssize_t length = readlink(sfx_fuzz::PLANTED_LINK_NAME, target, sizeof target);
    if (length < 0 || static_cast<size_t>(length) != strlen(sfx_fuzz::PLANTED_LINK_TARGET) ||
        strcmp(target, sfx_fuzz::PLANTED_LINK_TARGET) != 0)
        report_finding("the planted link %s was replaced or changed", sfx_fuzz::PLANTED_LINK_NAME);
}

// Reports a finding unless the scratch directory holds the planted link and
// exactly the expected files, regular and safely named, with their bodies.
void check_scratch_directory(const ExpectedOutcome& expected) {
    check_planted_link();
    for (const std::string& name : sfx_fuzz::scratch_entries()) {
        if (name == sfx_fuzz::PLANTED_LINK_NAME) continue;
        struct stat status;
        if (lstat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
            report_finding("extraction left \"%s\", which is not a regular file", name.c_str());
        if (const char* problem = sfx::entry_name_problem(name.c_str()))
            report_finding("extraction created \"%s\", whose name %s", name.c_str(), problem);
        if (expected.files.count(name) == 0)
            report_finding("extraction created \"%s\", which it should not have", name.c_str());
    }
    for (const auto& file : expected.files) {
        const std::string contents = sfx_fuzz::file_contents(file.first);
        if (contents != file.second)
            report_finding("\"%s\" holds %zu bytes, not its body of %zu", file.first.c_str(),
                           contents.size(), file.second.size());
    }
}

// Extracts the loaded table of the package `data` and checks the outcome.
void extract_and_check(const uint8_t* data) {
    const ExpectedOutcome expected = expected_outcome(data);
    const bool written = sfx::write_output_files();
    if (expected.stops_at_link) {
        const std::string refusal =
            std::string("Unable to open output file ") + sfx_fuzz::PLANTED_LINK_NAME + ".\n";
        if (written || refusal != sfx::failure_text)
            report_finding("an entry named like the planted link did not stop extraction: \"%s\"",
                           sfx::failure_text);
    } else if (!written) {
        // Every accepted name can be created beside the link, and every body
        // lies in the package, so nothing else may fail.
        report_finding("extraction of an accepted table failed: %s", sfx::failure_text);
    }
    check_scratch_directory(expected);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    sfx_fuzz::make_path_arguments_absolute(argc, argv);
    sfx_fuzz::enter_extraction_sandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const sfx_fuzz::PackageBytes package{data, size, size};
    sfx_fuzz::reset_scratch_directory();
    sfx::reset_reader_state();
    sfx::image_stream = sfx_fuzz::open_package_stream(package);
    if (sfx::image_stream == nullptr) report_finding("cannot open a stream over the input");

    if (sfx::scan_for_table_marker()) {
        const int32_t table_start = sfx::base_offset;
        if (sfx::load_valid_file_table(table_start)) {
            sfx_fuzz::check_accepted_table(package, table_start);
            extract_and_check(data);
        }
    }
    sfx_fuzz::check_outside_scratch_unchanged();

    fclose(sfx::image_stream);
    sfx::image_stream = nullptr;
    return 0;
}
