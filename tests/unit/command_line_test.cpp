// sfxpack's command line, parsed in-process: which command and options each
// argument list gives, and the one-line complaint for each mistake.
#include "tools/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sfx::pack::command;
using sfx::pack::command_kind;

struct accepted_case {
    const char* what;
    std::vector<std::string> arguments;  // after the program name
    command expected;
};

struct refused_case {
    const char* what;
    std::vector<std::string> arguments;  // after the program name
    const char* error;                   // the whole complaint
};

void PrintTo(const accepted_case& c, std::ostream* out) {
    *out << c.what;
}
void PrintTo(const refused_case& c, std::ostream* out) {
    *out << c.what;
}

// A command of `kind` with the fields `set` fills in.
template <typename Fill>
command made(command_kind kind, Fill set) {
    command result;
    result.kind = kind;
    set(result);
    return result;
}

command made(command_kind kind) {
    return made(kind, [](command&) {});
}

// A command whose fields all differ from a fresh one's: what an earlier parse
// may leave in the caller's variable, none of which may survive.
command stale() {
    return made(command_kind::extract, [](command& c) {
        c.output = c.stub = c.directory = c.package = "stale";
        c.items = {"stale"};
        c.target = "stale";
        c.no_setup = c.json = c.quiet = true;
        c.help_topic = command_kind::list;
    });
}

class CommandLineAccepts : public testing::TestWithParam<accepted_case> {};

TEST_P(CommandLineAccepts, GivesTheCommandAndEveryOption) {
    const accepted_case& c = GetParam();
    command parsed = stale();
    std::string error;
    ASSERT_TRUE(sfx::pack::parse_command_line(c.arguments, parsed, error)) << error;
    const command& want = c.expected;
    EXPECT_EQ(parsed.kind, want.kind);
    EXPECT_EQ(parsed.output, want.output);
    EXPECT_EQ(parsed.stub, want.stub);
    EXPECT_EQ(parsed.items, want.items);
    EXPECT_EQ(parsed.no_setup, want.no_setup);
    EXPECT_EQ(parsed.json, want.json);
    EXPECT_EQ(parsed.directory, want.directory);
    EXPECT_EQ(parsed.package, want.package);
    EXPECT_EQ(parsed.target, want.target);
    EXPECT_EQ(parsed.quiet, want.quiet);
    EXPECT_EQ(parsed.help_topic, want.help_topic);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandLineAccepts,
    testing::Values(accepted_case{"help", {"--help"}, made(command_kind::help)},
                    accepted_case{"short help", {"-h"}, made(command_kind::help)},
                    accepted_case{"help among a command's arguments is that command's",
                                  {"create", "-o", "out.exe", "--help"},
                                  made(command_kind::help,
                                       [](command& c) { c.help_topic = command_kind::create; })},
                    accepted_case{"help after an unknown command",
                                  {"pack", "--help"},
                                  made(command_kind::help)},
                    accepted_case{"version", {"--version"}, made(command_kind::version)},
                    accepted_case{"create with every option",
                                  {"create", "--no-setup", "a.txt", "-o", "out.exe", "--stub",
                                   "stub.exe", "NAME=b.txt"},
                                  made(command_kind::create,
                                       [](command& c) {
                                           c.output = "out.exe";
                                           c.stub = "stub.exe";
                                           c.no_setup = true;
                                           c.items = {"a.txt", "NAME=b.txt"};
                                       })},
                    accepted_case{"create with a target",
                                  {"create", "-o", "out.exe", "--target", "native", "a"},
                                  made(command_kind::create,
                                       [](command& c) {
                                           c.output = "out.exe";
                                           c.target = "native";
                                           c.items = {"a"};
                                       })},
                    accepted_case{"extract quietly",
                                  {"extract", "-q", "p.exe"},
                                  made(command_kind::extract,
                                       [](command& c) {
                                           c.quiet = true;
                                           c.package = "p.exe";
                                       })},
                    // After "--" nothing is an option, --help included.
                    accepted_case{"items that look like options after --",
                                  {"create", "-o", "out.exe", "--", "-o", "--help"},
                                  made(command_kind::create,
                                       [](command& c) {
                                           c.output = "out.exe";
                                           c.items = {"-o", "--help"};
                                       })},
                    accepted_case{"a lone dash is an operand",
                                  {"extract", "-"},
                                  made(command_kind::extract, [](command& c) { c.package = "-"; })},
                    accepted_case{"list as JSON",
                                  {"list", "--json", "p.exe"},
                                  made(command_kind::list,
                                       [](command& c) {
                                           c.json = true;
                                           c.package = "p.exe";
                                       })},
                    accepted_case{"verify without SETUP.EXE",
                                  {"verify", "p.exe", "--no-setup"},
                                  made(command_kind::verify,
                                       [](command& c) {
                                           c.no_setup = true;
                                           c.package = "p.exe";
                                       })},
                    accepted_case{"extract into a directory",
                                  {"extract", "-C", "dir", "p.exe"},
                                  made(command_kind::extract, [](command& c) {
                                      c.directory = "dir";
                                      c.package = "p.exe";
                                  })}));

class CommandLineRefuses : public testing::TestWithParam<refused_case> {};

TEST_P(CommandLineRefuses, WithOneComplaint) {
    command parsed;
    std::string error;
    EXPECT_FALSE(sfx::pack::parse_command_line(GetParam().arguments, parsed, error));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, CommandLineRefuses,
    testing::Values(
        refused_case{"nothing", {}, "no command given"},
        refused_case{"an unknown command", {"pack", "x"}, "unknown command 'pack'"},
        refused_case{"a command in other case", {"List", "p.exe"}, "unknown command 'List'"},
        refused_case{
            "version after a command", {"list", "--version"}, "list: unknown option '--version'"},
        refused_case{"create without an output",
                     {"create", "a.txt"},
                     "create: no output file given (-o OUT)"},
        refused_case{"an option without its value",
                     {"extract", "p.exe", "-C"},
                     "extract: option -C needs a value"},
        refused_case{"an option with an empty value",
                     {"create", "-o", "", "a.txt"},
                     "create: option -o needs a value"},
        refused_case{
            "another command's option", {"list", "-C", "x", "p.exe"}, "list: unknown option '-C'"},
        refused_case{"create's flag on list",
                     {"list", "--no-setup", "p.exe"},
                     "list: unknown option '--no-setup'"},
        refused_case{"no package", {"verify"}, "verify: no package given"},
        refused_case{"create without items",
                     {"create", "-o", "out.exe"},
                     "create: no ITEM given: name the files to pack, SETUP.EXE among them"},
        refused_case{"an output given twice",
                     {"create", "-o", "a", "-o", "b", "x"},
                     "create: option -o given more than once"},
        refused_case{"a target and a stub",
                     {"create", "-o", "a", "--target", "native", "--stub", "s", "x"},
                     "create: give either --target or --stub, not both"},
        refused_case{
            "two packages", {"verify", "a.exe", "b.exe"}, "verify: more than one package given"}));

}  // namespace
