// vrd_main.cpp - the vrd command: entry point and subcommand dispatch.
#include <cstdio>
#include <cstring>

#include "command.h"
#include "vrd/vrd_internal.h"

namespace {
constexpr int kMaxCommands = 32;
vrdtool::Command commands[kMaxCommands];
int commandCount = 0;

void usage(FILE *out) {
    std::fprintf(out,
                 "usage: vrd [--help] [--version] COMMAND [ARGS]\n"
                 "\n"
                 "Reads, writes and inspects form trees in the vrd text notation and\n"
                 "binary file.  'vrd COMMAND --help' describes each command.\n"
                 "\n"
                 "Commands:\n");
    for (int i = 0; i < commandCount; ++i) std::fprintf(out, "  %s\n", commands[i].synopsis);
    std::fprintf(out,
                 "\n"
                 "Options:\n"
                 "  --help      show this help and exit\n"
                 "  --version   print the library version and exit\n");
}
}  // namespace

bool vrdtool::registerCommand(const Command &command) {
    if (commandCount == kMaxCommands) return false;
    commands[commandCount++] = command;
    return true;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("vrd %s\n", VRDversion());
        return 0;
    }
    for (int i = 0; i < commandCount; ++i)
        if (std::strcmp(argv[1], commands[i].name) == 0) return commands[i].run(argc - 1, argv + 1);
    std::fprintf(stderr, "vrd: unknown command '%s' (try 'vrd --help')\n", argv[1]);
    return 2;
}
