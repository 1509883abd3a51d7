// args.h - the one argument parser of every vrd subcommand: options, operands, help and exit statuses.
#ifndef VRD_TOOLS_ARGS_H
#define VRD_TOOLS_ARGS_H

#include <map>
#include <string>
#include <vector>

namespace vrdtool {

// Exit statuses, alike for every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitData = 1;   // the data has problems, or nothing matched
constexpr int kExitUsage = 2;  // bad arguments, or a file that cannot be read or written

// One option of a subcommand.  `value` names the option's argument ("FILE"),
// or is null for a flag.
struct OptionInfo {
    const char *name;  // the long name, without "--"
    char letter;       // the short name, or 0
    const char *value;
    const char *help;
};

// What a subcommand takes; the common options (-o, -q, --help, --version)
// are added by the parser, so they read the same everywhere.
struct CommandInfo {
    const char *name;
    const char *operands;  // as the usage line shows them: "FILE", "IN"
    int minOperands;
    int maxOperands;  // -1: no limit
    const char *description;
    std::vector<OptionInfo> options;
};

// A parsed command line.  An option given twice is refused, so each has at
// most one value.
struct Args {
    std::vector<std::string> operands;
    std::map<std::string, std::string> given;  // long name -> value ("" for flags)
    bool has(const char *name) const { return given.count(name) != 0; }
    // The value of an option, or null when it was not given.
    const char *value(const char *name) const;
    const char *output() const { return value("output"); }
    bool quiet() const { return has("quiet"); }
};

// Parses argv (argv[0] is the subcommand's name).  Returns -1 when the
// command should run; otherwise the exit status, after printing the help or
// the version on stdout (0) or a one-line usage error on stderr (2).
int parseArgs(const CommandInfo &command, int argc, char **argv, Args &args);

// The line every --help ends with.
extern const char kExitStatusHelp[];

// The version line: the project's version, and the library's own version text.
std::string versionLine();

}  // namespace vrdtool

#endif  // VRD_TOOLS_ARGS_H
