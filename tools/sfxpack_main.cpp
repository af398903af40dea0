// sfxpack: makes packages for the self-extracting stub and looks inside them.
#include <cstdio>
#include <string>
#include <vector>

#include "src/platform/platform.h"
#include "tools/command_line.h"
#include "tools/exit_status.h"
#include "tools/package_inspection.h"
#include "tools/package_writer.h"
#include "tools/problem_line.h"
#include "tools/signal_cleanup.h"
#include "tools/stub_image.h"

namespace {

using namespace sfx::pack;

int run_create(const command& given) {
    package_request request;
    request.output_path = given.output;
    std::string error;
    if (given.stub.empty()) {
        if (!locate_stub(given.target.empty() ? DEFAULT_TARGET : given.target, request.stub_path,
                         error)) {
            report_problem(stderr, error);
            return EXIT_BAD_INPUT;
        }
    } else {
        request.stub_path = given.stub;
    }
    if (!check_stub_image(request.stub_path, error)) {
        report_problem(stderr, error);
        return EXIT_BAD_INPUT;
    }
    request.require_setup = !given.no_setup;
    request.integrity_record = !given.no_integrity;
    for (const std::string& item : given.items)
        request.items.push_back(parse_pack_item(item));
    if (!create_package(request, error)) {
        report_problem(stderr, error);
        return EXIT_BAD_INPUT;
    }
    return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit or a closed output becomes a reported write error,
    // and an interrupted create leaves no temporary package behind.
    sfx::ignore_write_signals();
    install_signal_cleanup();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    command given;
    std::string error;
    if (!parse_command_line(arguments, given, error)) {
        report_problem(stderr, error + " (see sfxpack --help)");
        return EXIT_USAGE;
    }
    switch (given.kind) {
        case command_kind::help:
            fputs(usage_text(given.help_topic), stdout);
            return EXIT_OK;
        case command_kind::version:
            printf("sfxpack %s\n", SFX_VERSION);
            return EXIT_OK;
        case command_kind::create:
            return run_create(given);
        case command_kind::list:
            return list_package(given.package.c_str(), given.json, stdout, stderr);
        case command_kind::verify:
            return verify_package(given.package.c_str(), !given.no_setup, given.json, stdout,
                                  stderr);
        case command_kind::extract:
            return extract_package(given.package.c_str(),
                                   given.directory.empty() ? nullptr : given.directory.c_str(),
                                   given.quiet ? nullptr : stdout, stderr);
    }
    return EXIT_USAGE;
}
