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
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "fuzz/absolute_arguments.h"
#include "fuzz/extraction_sandbox.h"
#include "fuzz/finding.h"
#include "fuzz/package_stream.h"
#include "fuzz/table_layout_check.h"
#include "src/entry_name.h"
#include "src/reader_session.h"

namespace {

using sfx::fuzz::report_finding;

// What extracting the loaded table must leave: each name written with the
// body of its last entry, up to the first entry named like the planted link
// or, in a package with an integrity record, whose body does not have its
// recorded checksum, where extraction stops.
struct extraction_outcome {
    std::map<std::string, std::string> files;
    bool stops_at_link = false;
    bool stops_at_damage = false;
};

extraction_outcome expected_extraction(const sfx::reader_session& session, const uint8_t* data) {
    extraction_outcome outcome;
    const std::vector<sfx::table_entry> entries = session.entries();
    for (size_t slot = 0; slot < entries.size(); ++slot) {
        const sfx::table_entry& entry = entries[slot];
        if (strcmp(entry.name, sfx::fuzz::PLANTED_LINK_NAME) == 0) {
            outcome.stops_at_link = true;
            break;
        }
        const auto* body = data + entry.offset;
        if (session.has_integrity_record() && XXH3_64bits(body, static_cast<size_t>(entry.size)) !=
                                                  session.integrity().checksums[slot]) {
            outcome.stops_at_damage = true;
            break;
        }
        outcome.files[entry.name].assign(reinterpret_cast<const char*>(data) + entry.offset,
                                         static_cast<size_t>(entry.size));
    }
    return outcome;
}

// Reports a finding unless the planted link still points where it did.
void check_planted_link() {
    char target[sizeof sfx::fuzz::PLANTED_LINK_TARGET + 1] = {};
    const ssize_t length = readlink(sfx::fuzz::PLANTED_LINK_NAME, target, sizeof target);
    if (length < 0 || static_cast<size_t>(length) != strlen(sfx::fuzz::PLANTED_LINK_TARGET) ||
        strcmp(target, sfx::fuzz::PLANTED_LINK_TARGET) != 0)
        report_finding("the planted link %s was replaced or changed", sfx::fuzz::PLANTED_LINK_NAME);
}

// Reports a finding unless the scratch directory holds the planted link and
// exactly the expected files, regular and safely named, with their bodies.
void check_scratch_directory(const extraction_outcome& expected) {
    check_planted_link();
    for (const std::string& name : sfx::fuzz::scratch_entries()) {
        if (name == sfx::fuzz::PLANTED_LINK_NAME) continue;
        struct stat status;
        if (lstat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
            report_finding("extraction left \"%s\", which is not a regular file", name.c_str());
        if (const char* problem = sfx::entry_name_problem(name.c_str()))
            report_finding("extraction created \"%s\", whose name %s", name.c_str(), problem);
        if (expected.files.count(name) == 0)
            report_finding("extraction created \"%s\", which it should not have", name.c_str());
    }
    for (const auto& file : expected.files) {
        const std::string contents = sfx::fuzz::file_contents(file.first);
        if (contents != file.second)
            report_finding("\"%s\" holds %zu bytes, not its body of %zu", file.first.c_str(),
                           contents.size(), file.second.size());
    }
}

// Extracts the loaded table of the package `data` and checks the outcome.
void extract_and_check(sfx::reader_session& session, const uint8_t* data) {
    const extraction_outcome expected = expected_extraction(session, data);
    const bool written = session.write_files();
    if (expected.stops_at_link) {
        const std::string refusal =
            std::string("Unable to open output file ") + sfx::fuzz::PLANTED_LINK_NAME + ".\n";
        if (written || refusal != session.failure())
            report_finding("an entry named like the planted link did not stop extraction: \"%s\"",
                           session.failure());
    } else if (expected.stops_at_damage) {
        if (written ||
            strstr(session.failure(), "are damaged (a checksum does not match)") == nullptr)
            report_finding("a body that fails its checksum did not stop extraction: \"%s\"",
                           session.failure());
    } else if (!written) {
        // Every accepted name can be created beside the link, and every body
        // lies in the package, so nothing else may fail.
        report_finding("extraction of an accepted table failed: %s", session.failure());
    }
    check_scratch_directory(expected);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    sfx::fuzz::make_path_arguments_absolute(argc, argv);
    sfx::fuzz::enter_extraction_sandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const sfx::fuzz::package_bytes package{data, size, size};
    sfx::fuzz::reset_scratch_directory();
    {
        sfx::reader_session session("package");
        if (!session.adopt(sfx::fuzz::open_package_stream(package)))
            report_finding("cannot open a stream over the input");
        if (session.find_marker() && session.load_table()) {
            sfx::fuzz::check_accepted_table(session, package);
            extract_and_check(session, data);
        }
    }
    sfx::fuzz::check_outside_scratch_unchanged();
    return 0;
}
