// The command line of sfxpack, parsed into what to do.
#pragma once

#include <string>
#include <vector>

namespace sfx::pack {

enum class command_kind { help, version, create, list, verify, extract };

struct command {
    command_kind kind = command_kind::help;
    command_kind help_topic = command_kind::help;  // help: the command asked about, or help
    std::string output;                            // create: -o OUT
    std::string stub;                // create: --stub STUB; empty for the target's stub
    std::string target;              // create: --target TARGET; empty for the default
    std::vector<std::string> items;  // create: ITEM...
    bool no_setup = false;           // create, verify: --no-setup
    bool no_integrity = false;       // create: --no-integrity
    bool json = false;               // list, verify: --json
    bool quiet = false;              // extract: -q
    std::string directory;           // extract: -C DIR; empty for the current one
    std::string package;             // list, verify, extract: PKG
};

// Parses the arguments after the program name. "--help" anywhere asks for
// help, about the command when one is named first; "--" ends the options, so
// an ITEM or PKG may start with '-'. An option that takes a value may be
// given once. Returns false with a one-line description of the mistake in
// `error`.
bool parse_command_line(const std::vector<std::string>& arguments, command& result,
                        std::string& error);

// The text that --help prints: for `topic` help, the overview of every
// command; otherwise that command's own usage and options.
const char* usage_text(command_kind topic = command_kind::help);

}  // namespace sfx::pack
