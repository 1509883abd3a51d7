// command.h - the vrd command's subcommand registry.
#ifndef VRD_TOOLS_COMMAND_H
#define VRD_TOOLS_COMMAND_H

namespace vrdtool {

// A subcommand: `run` gets argv from the subcommand's name on and returns
// the process exit status (0, 1 or 2; see args.h).
struct Command {
    const char *name;
    const char *synopsis;  // one line for `vrd --help`
    int (*run)(int argc, char **argv);
};

// Adds a subcommand; each subcommand file registers itself at start-up.
bool registerCommand(const Command &command);

// Makes the store a subcommand works in; false after a message.
bool newStore(const char *command);

}  // namespace vrdtool

// Registers `fn` as subcommand `name` from the file that defines it.
#define VRD_COMMAND(name, synopsis, fn) \
    static const bool vrdRegistered_##fn = ::vrdtool::registerCommand({name, synopsis, fn})

#endif  // VRD_TOOLS_COMMAND_H
