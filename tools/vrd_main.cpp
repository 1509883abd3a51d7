// vrd_main.cpp - the vrd command: entry point and subcommand dispatch.
#include <cstdio>
#include <cstring>

#include "vrd/vrd_internal.h"

namespace {
void usage(FILE *out) {
    std::fprintf(out,
                 "usage: vrd [--help] [--version] COMMAND [ARGS]\n"
                 "\n"
                 "Options:\n"
                 "  --help      show this help and exit\n"
                 "  --version   print the library version and exit\n");
}
}  // namespace

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
    std::fprintf(stderr, "vrd: unknown command '%s' (try 'vrd --help')\n", argv[1]);
    return 2;
}
