// Whole packages through the stub's path: marker scan, table loading and,
// for every table the loader accepts, extraction into a scratch directory.
// Whatever the package, the only files created must be regular files inside
// the scratch directory, named by the table and passing the name rule, each
// holding its entry's body (the later entry's, for a repeated name); a
// sentinel file beside the scratch directory stays as it was.
#include <sys/stat.h>

#include <cstdint>
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

// What the scratch directory must hold after extracting the loaded table:
// each name with the body of its last entry.
std::map<std::string, std::string> expected_files(const uint8_t* data) {
    std::map<std::string, std::string> files;
    for (int slot = 0; sfx::file_table[slot].name[0] != '\0'; ++slot) {
        const sfx::table_entry& entry = sfx::file_table[slot];
        files[entry.name].assign(reinterpret_cast<const char*>(data) + entry.offset,
                                 static_cast<size_t>(entry.size));
    }
    return files;
}

void check_scratch_directory(const std::map<std::string, std::string>& expected) {
    using sfx_fuzz::report_finding;
    for (const std::string& name : sfx_fuzz::scratch_entries()) {
        struct stat status;
        if (lstat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
            report_finding("extraction left \"%s\", which is not a regular file", name.c_str());
        if (const char* problem = sfx::entry_name_problem(name.c_str()))
            report_finding("extraction created \"%s\", whose name %s", name.c_str(), problem);
        if (expected.count(name) == 0)
            report_finding("extraction created \"%s\", which the table does not name", name.c_str());
    }
    for (const auto& file : expected) {
        const std::string contents = sfx_fuzz::file_contents(file.first);
        if (contents != file.second)
            report_finding("\"%s\" holds %zu bytes, not its body of %zu", file.first.c_str(),
                           contents.size(), file.second.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    sfx_fuzz::make_path_arguments_absolute(argc, argv);
    sfx_fuzz::enter_extraction_sandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using sfx_fuzz::report_finding;
    const sfx_fuzz::PackageBytes package{data, size, size};
    sfx_fuzz::clear_scratch_directory();
    sfx::reset_reader_state();
    sfx::image_stream = sfx_fuzz::open_package_stream(package);
    if (sfx::image_stream == nullptr) report_finding("cannot open a stream over the input");

    if (sfx::scan_for_table_marker()) {
        const int32_t table_start = sfx::base_offset;
        if (sfx::load_valid_file_table(table_start)) {
            sfx_fuzz::check_accepted_table(package, table_start);
            const std::map<std::string, std::string> expected = expected_files(data);
            // Every accepted name can be created in an empty directory and
            // every body lies in the package, so nothing may fail here.
            if (!sfx::write_output_files())
                report_finding("extraction of an accepted table failed: %s", sfx::failure_text);
            check_scratch_directory(expected);
        }
    }
    sfx_fuzz::check_outside_scratch_unchanged();

    fclose(sfx::image_stream);
    sfx::image_stream = nullptr;
    return 0;
}
