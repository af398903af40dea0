// Parsing sfxpack's command line: commands, their options and operands.
#include "tools/command_line.h"

namespace sfx::pack {
namespace {

struct command_name {
    const char* name;
    command_kind kind;
};
const command_name COMMANDS[] = {{"create", command_kind::create},
                                 {"list", command_kind::list},
                                 {"verify", command_kind::verify},
                                 {"extract", command_kind::extract}};

// Which options each command takes; a value-taking option stores into the
// string it points at, a flag into the bool.
struct option_spec {
    const char* name;
    command_kind kind;
    std::string command::*value;
    bool command::*flag;
};
const option_spec OPTIONS[] = {
    {"-o", command_kind::create, &command::output, nullptr},
    {"--stub", command_kind::create, &command::stub, nullptr},
    {"--no-setup", command_kind::create, nullptr, &command::no_setup},
    {"--no-integrity", command_kind::create, nullptr, &command::no_integrity},
    {"--no-setup", command_kind::verify, nullptr, &command::no_setup},
    {"--json", command_kind::list, nullptr, &command::json},
    {"-C", command_kind::extract, &command::directory, nullptr},
};

const option_spec* find_option(command_kind kind, const std::string& name) {
    for (const option_spec& option : OPTIONS)
        if (option.kind == kind && name == option.name) return &option;
    return nullptr;
}

}  // namespace

bool parse_command_line(const std::vector<std::string>& arguments, command& result,
                        std::string& error) {
    result = command{};
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") return true;
    }
    if (arguments.empty()) {
        error = "no command given";
        return false;
    }
    if (arguments[0] == "--version") {
        result.kind = command_kind::version;
        return true;
    }
    std::string name = arguments[0];
    bool known = false;
    for (const command_name& entry : COMMANDS)
        if (name == entry.name) {
            result.kind = entry.kind;
            known = true;
        }
    if (!known) {
        error = "unknown command '" + name + "'";
        return false;
    }

    std::vector<std::string> operands;
    bool options_ended = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (options_ended || argument.size() < 2 || argument[0] != '-') {
            operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            options_ended = true;
            continue;
        }
        const option_spec* option = find_option(result.kind, argument);
        if (option == nullptr) {
            error = name + ": unknown option '" + argument + "'";
            return false;
        }
        if (option->flag != nullptr) {
            result.*(option->flag) = true;
            continue;
        }
        if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
            error = name + ": option " + argument + " needs a value";
            return false;
        }
        result.*(option->value) = arguments[++i];
    }

    if (result.kind == command_kind::create) {
        if (result.output.empty()) {
            error = "create: no output file given (-o OUT)";
            return false;
        }
        result.items = operands;
        return true;
    }
    if (operands.size() != 1) {
        error = name + (operands.empty() ? ": no package given" : ": more than one package given");
        return false;
    }
    result.package = operands[0];
    return true;
}

const char* usage_text() {
    return "Usage:\n"
           "  sfxpack create -o OUT [--stub STUB] [--no-setup] [--no-integrity] ITEM...\n"
           "  sfxpack list [--json] PKG\n"
           "  sfxpack verify [--no-setup] PKG\n"
           "  sfxpack extract [-C DIR] PKG\n"
           "  sfxpack --help | --version\n"
           "\n"
           "create   Writes the package OUT: the stub image, then the table and the files,\n"
           "         in the order given. ITEM is FILE, stored under its base name, or\n"
           "         NAME=FILE (split at the first '='). Names have 1 to 12 characters and\n"
           "         must be safe file names on Windows; at most 12 entries, no two names\n"
           "         that differ only in letter case, one of them SETUP.EXE (the program the\n"
           "         package starts) unless --no-setup is given. The package must stay under\n"
           "         2 GiB. Without --stub, the sfxstub beside sfxpack is used. OUT appears\n"
           "         only when complete; on any error an existing OUT is left as it was.\n"
           "         The package carries an integrity record (its length and a checksum of\n"
           "         every file), checked before anything is installed; --no-integrity\n"
           "         leaves it out, for a package of the plain layout.\n"
           "list     Shows where the marker, the table and the bodies are, and every\n"
           "         record's number, name, offset and size; --json as one JSON document.\n"
           "verify   Checks every rule the stub enforces and the rules create keeps, the\n"
           "         length and every checksum, and reports each breach; --no-setup accepts\n"
           "         a package without SETUP.EXE.\n"
           "extract  Writes every entry into DIR (default: the current directory) as the\n"
           "         package would, with the same safety checks, and starts nothing.\n"
           "\n"
           "Exit status: 0 success, 1 a bad package, a refused input or an I/O failure,\n"
           "2 a wrong command line. Every error is one line on standard error.\n";
}

}  // namespace sfx::pack
