// vrd_main.cpp - the vrd command: entry point and subcommand dispatch.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "args.h"
#include "command.h"
#include "platform.h"
#include "vrd/vrd_internal.h"

namespace {
constexpr int kMaxCommands = 32;
vrdtool::Command commands[kMaxCommands];
int commandCount = 0;

void usage(FILE *out) {
    std::fprintf(out,
                 "usage: vrd [--help] [--version] COMMAND [OPTIONS] [ARGS]\n"
                 "\n"
                 "Reads, writes and inspects form trees in the vrd text notation, the\n"
                 "binary file and JSON.  'vrd COMMAND --help' describes each command.\n"
                 "Every command takes -o/--output FILE, -q/--quiet, --help and --version;\n"
                 "'-' names standard input or output wherever a file is named.\n"
                 "\n"
                 "Commands:\n");
    for (int i = 0; i < commandCount; ++i) std::fprintf(out, "  %s\n", commands[i].synopsis);
    std::fprintf(out,
                 "\n"
                 "Options:\n"
                 "  -h, --help   show this help and exit\n"
                 "  --version    print the version and exit\n"
                 "\n%s",
                 vrdtool::kExitStatusHelp);
}
}  // namespace

bool vrdtool::registerCommand(const Command &command) {
    if (commandCount == kMaxCommands) return false;
    commands[commandCount++] = command;
    return true;
}

bool vrdtool::newStore(const char *command) {
    if (VRDnew(command) != nullptr) return true;
    std::fprintf(stderr, "vrd %s: cannot create a store (out of memory)\n", command);
    return false;
}

int main(int argc, char **argv) {
    vrdtool::useBinaryStdio();
    if (argc < 2) {
        usage(stderr);
        return vrdtool::kExitUsage;
    }
    int status = -1;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage(stdout);
        status = vrdtool::kExitOk;
    } else if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", vrdtool::versionLine().c_str());
        status = vrdtool::kExitOk;
    }
    for (int i = 0; i < commandCount && status < 0; ++i) {
        if (std::strcmp(argv[1], commands[i].name) != 0) continue;
        // The library reports its own allocation failures; the command's own
        // buffers (strings, JSON values) throw, and end here with a word.
        try {
            status = commands[i].run(argc - 1, argv + 1);
        } catch (const std::bad_alloc &) {
            std::fprintf(stderr, "vrd %s: out of memory\n", argv[1]);
            return vrdtool::kExitUsage;
        }
    }
    if (status >= 0) {
        // Help and version texts go through stdio: a failed flush is a failed write.
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "vrd: standard output: cannot write: %s\n", std::strerror(errno));
            return vrdtool::kExitUsage;
        }
        return status;
    }
    std::fprintf(stderr, "vrd: unknown command '%s' (try 'vrd --help')\n", argv[1]);
    return vrdtool::kExitUsage;
}
