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
    {"--target", command_kind::create, &command::target, nullptr},
    {"--no-setup", command_kind::create, nullptr, &command::no_setup},
    {"--no-integrity", command_kind::create, nullptr, &command::no_integrity},
    {"--no-setup", command_kind::verify, nullptr, &command::no_setup},
    {"--json", command_kind::list, nullptr, &command::json},
    {"--json", command_kind::verify, nullptr, &command::json},
    {"-C", command_kind::extract, &command::directory, nullptr},
    {"-q", command_kind::extract, nullptr, &command::quiet},
};

const option_spec* find_option(command_kind kind, const std::string& name) {
    for (const option_spec& option : OPTIONS)
        if (option.kind == kind && name == option.name) return &option;
    return nullptr;
}

bool find_command(const std::string& name, command_kind& kind) {
    for (const command_name& entry : COMMANDS)
        if (name == entry.name) {
            kind = entry.kind;
            return true;
        }
    return false;
}

}  // namespace

bool parse_command_line(const std::vector<std::string>& arguments, command& result,
                        std::string& error) {
    result = command{};
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") {
            // "create --help" is about create; "--help" alone or after an
            // unknown word is the overview.
            if (!arguments.empty()) find_command(arguments[0], result.help_topic);
            return true;
        }
    }
    if (arguments.empty()) {
        error = "no command given";
        return false;
    }
    if (arguments[0] == "--version") {
        result.kind = command_kind::version;
        return true;
    }
    const std::string& name = arguments[0];
    if (!find_command(name, result.kind)) {
        error = "unknown command '" + name + "'";
        return false;
    }

    std::vector<std::string> operands;
    std::vector<const option_spec*> given_values;
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
        // The second value would silently win: refuse rather than guess.
        for (const option_spec* earlier : given_values)
            if (earlier == option) {
                error = name + ": option " + argument + " given more than once";
                return false;
            }
        given_values.push_back(option);
        result.*(option->value) = arguments[++i];
    }

    if (result.kind == command_kind::create) {
        if (result.output.empty()) {
            error = "create: no output file given (-o OUT)";
            return false;
        }
        if (!result.stub.empty() && !result.target.empty()) {
            error = "create: give either --target or --stub, not both";
            return false;
        }
        if (operands.empty()) {
            error = "create: no ITEM given: name the files to pack, SETUP.EXE among them";
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

const char* usage_text(command_kind topic) {
    switch (topic) {
        case command_kind::create:
            return "Usage: sfxpack create -o OUT [--target TARGET | --stub STUB] [--no-setup]\n"
                   "                      [--no-integrity] ITEM...\n"
                   "\n"
                   "Writes the package OUT: a stub image, then the table and the files, in the\n"
                   "order given. ITEM is FILE, stored under its base name, or NAME=FILE (split\n"
                   "at the first '='). Names have 1 to 12 ASCII characters and must be safe\n"
                   "file names on Windows; at most 12 entries, no two names that differ only\n"
                   "in letter case, one of them SETUP.EXE (the program the package starts).\n"
                   "The package must stay under 2 GiB. OUT appears only when complete; on any\n"
                   "error an existing OUT is left as it was.\n"
                   "\n"
                   "  -o OUT           the package file to write\n"
                   "  --target TARGET  whose stub to use: windows-i686 (the default, a 32-bit\n"
                   "                   Windows program), windows-x86_64 or native (this\n"
                   "                   system's), as built or installed with sfxpack\n"
                   "  --stub STUB      use the stub image STUB instead (a branded build)\n"
                   "  --no-setup       accept a package without SETUP.EXE\n"
                   "  --no-integrity   leave out the integrity record (the package's length\n"
                   "                   and the checksum of every file, checked before\n"
                   "                   anything is installed): the plain layout\n";
        case command_kind::list:
            return "Usage: sfxpack list [--json] PKG\n"
                   "\n"
                   "Shows where the marker, the table and the bodies are, whether the package\n"
                   "carries an integrity record, and every record's number, name, offset, size\n"
                   "and checksum.\n"
                   "\n"
                   "  --json  one JSON document instead (format 1, see the README)\n";
        case command_kind::verify:
            return "Usage: sfxpack verify [--no-setup] [--json] PKG\n"
                   "\n"
                   "Checks every rule the stub enforces and the rules create keeps, the\n"
                   "package's length and every checksum, and reports each breach.\n"
                   "\n"
                   "  --no-setup  accept a package without SETUP.EXE\n"
                   "  --json      the verdict as one JSON document (format 1)\n";
        case command_kind::extract:
            return "Usage: sfxpack extract [-C DIR] [-q] PKG\n"
                   "\n"
                   "Writes every entry into DIR (created if missing; default: the current\n"
                   "directory) as the package would, with the same checks, naming each file\n"
                   "it writes, and starts nothing.\n"
                   "\n"
                   "  -C DIR  where to write the files\n"
                   "  -q      name no file\n";
        case command_kind::help:
        case command_kind::version:
            break;
    }
    return "Usage:\n"
           "  sfxpack create -o OUT [--target TARGET | --stub STUB] [--no-setup]\n"
           "                 [--no-integrity] ITEM...\n"
           "  sfxpack list [--json] PKG\n"
           "  sfxpack verify [--no-setup] [--json] PKG\n"
           "  sfxpack extract [-C DIR] [-q] PKG\n"
           "  sfxpack --help | --version\n"
           "  sfxpack COMMAND --help\n"
           "\n"
           "create   Writes a self-extracting package: a stub, then the files given.\n"
           "list     Shows the package's layout, its table and checksums.\n"
           "verify   Checks every rule, the length and every checksum.\n"
           "extract  Writes the package's files into a directory, starting nothing.\n"
           "\n"
           "Exit status: 0 success, 1 a bad package, a refused input or an I/O failure,\n"
           "2 a wrong command line. Every error is one line on standard error.\n";
}

}  // namespace sfx::pack
